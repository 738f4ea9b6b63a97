// The main window as the operator meets it: a shown, active window driven by mouse clicks and key
// presses. Focus, visibility and enabled state take part here as they do for a user, which the
// tests that call the window's operations directly cannot show.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "tests/support/manual_window_timers.h"
#include "tests/support/recording_services.h"
#include "tests/ui/board_rows.h"
#include "tests/ui/collection_support.h"
#include "tests/ui/user_input.h"
#include "tests/ui/window_fixture.h"
#include "ui/ui_text.h"

namespace quorin::testing {
namespace {

using namespace res;

class OperatorInput : public WindowFixture {
  protected:
    // The set request a board socket receives, decoded; nullopt when none came.
    std::optional<BoardRow> sentRow() {
        const auto request = receive_datagram(*mainBoard, 2000);
        if (!request) return std::nullopt;
        BoardRow row{};
        decode_main_reply(*request, row);
        return row;
    }
    bool nothingSent() { return !receive_datagram(*mainBoard, 200).has_value(); }
    // Whether channel page `page` is the one page whose controls are on view.
    bool onView(int page) {
        for (int p = 1; p <= 4; ++p)
            for (int id : kChannels[static_cast<std::size_t>(p - 1)].all())
                if (Dlg().isShown(id) != (p == page)) return false;
        return true;
    }
};

// --- a failed check on a channel page that is not on view ----------------------------------

TEST_F(OperatorInput, PackingCharacterErrorOnAHiddenPageBringsThatPageUpWithItsEditFocused) {
    addBoard(sample_row(product::kQuorin712P));  // SW with valid trigger characters
    ASSERT_TRUE(show_active(Dlg()));
    click_tab(Dlg(), IDC_CHANNEL_TAB, 2);
    type_over(Dlg(), kChannels[2].packing_char, "zz");
    click_tab(Dlg(), IDC_CHANNEL_TAB, 0);
    ASSERT_TRUE(onView(1));

    mouse_click(Dlg(), IDC_SETTING);

    EXPECT_EQ(messages.shown, QStringList{ui_text(text::kPackingCharInvalid[2])});
    EXPECT_TRUE(nothingSent());
    EXPECT_EQ(Dlg().tabCurSel(IDC_CHANNEL_TAB), 2);
    EXPECT_TRUE(onView(3));
    EXPECT_EQ(QApplication::focusWidget(), Dlg().control(1221));
    // What the operator types now corrects channel 3.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), "0d");
    EXPECT_EQ(Dlg().text(1221), "0d");
    EXPECT_EQ(Dlg().text(kChannels[0].packing_char), "0d");  // channel 1 as the board sent it
}

// --- arrow keys in the radio choices --------------------------------------------------------

TEST_F(OperatorInput, ArrowKeysCheckTheNextRadioOfTheChoiceAndNotifyTheWindowLikeAClick) {
    addBoard(board_row(product::kQuorin712P));  // Static, HW
    ASSERT_TRUE(show_active(Dlg()));
    const ChannelIds& ch = kChannels[0];
    // Each step: a radio clicked first (0: none), the key, the radio that then has the focus and
    // is the only one checked in its choice, and a control its handler enables or disables.
    const struct {
        int click;
        Qt::Key key;
        int checked, follower;
        bool enabled;
    } steps[] = {
        {IDC_STATIC_IP, Qt::Key_Down, IDC_DHCP, IDC_LOCAL_IP, false},
        {0, Qt::Key_Right, IDC_PPPOE, IDC_PPPOE_ID, true},
        {0, Qt::Key_Down, IDC_STATIC_IP, IDC_LOCAL_IP, true},  // wraps round to the first
        {0, Qt::Key_Up, IDC_PPPOE, IDC_PPPOE_ID, true},
        {IDC_SERIAL_HW, Qt::Key_Right, IDC_SERIAL_SW, IDC_TRIGGER1, true},
        {0, Qt::Key_Left, IDC_SERIAL_HW, IDC_TRIGGER1, false},
        {ch.server, Qt::Key_Down, ch.client, 0, false},
        {ch.raw_mode, Qt::Key_Right, ch.telnet_mode, 0, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.checked);
        if (step.click != 0) mouse_click(Dlg(), step.click);
        press(step.key);
        EXPECT_EQ(Dlg().focusedId(), step.checked);
        const int choice = Dlg().radioChoice(step.checked);
        for (int id : Dlg().controlIds()) {
            if (Dlg().radioChoice(id) == choice) {
                EXPECT_EQ(Dlg().isChecked(id), id == step.checked) << id;
            }
        }
        if (step.follower != 0) {
            EXPECT_EQ(Dlg().isEnabled(step.follower), step.enabled);
        }
    }
    // Each choice kept what its own keys chose.
    for (int id : {IDC_PPPOE, IDC_SERIAL_HW, ch.client, ch.telnet_mode, kChannels[1].server})
        EXPECT_TRUE(Dlg().isChecked(id)) << id;

    // Disabled radios are passed over; with one radio left, that one is clicked again.
    mouse_click(Dlg(), IDC_DHCP);
    Dlg().enable(IDC_PPPOE, false);
    press(Qt::Key_Down);
    EXPECT_TRUE(Dlg().isChecked(IDC_STATIC_IP));
    Dlg().enable(IDC_DHCP, false);
    Dlg().enable(IDC_LOCAL_IP, false);
    press(Qt::Key_Down);
    EXPECT_EQ(Dlg().focusedId(), IDC_STATIC_IP);
    EXPECT_TRUE(Dlg().isEnabled(IDC_LOCAL_IP));  // the Static handler ran again
}

// --- typed text in the serial combos --------------------------------------------------------

TEST_F(OperatorInput, TypedComboTextThatNamesAnEntrySelectsItAndGoesOut) {
    addBoard(sample_row(product::kDAVRO2xM));  // firmware 1.6.2: ten baud rates, "RTSOnly"
    ASSERT_TRUE(show_active(Dlg()));
    const ChannelIds& ch = kChannels[0];
    type_over(Dlg(), ch.baud_rate, "9600");
    type_over(Dlg(), ch.data_bits, " 7 ");
    type_over(Dlg(), ch.stop_bits, "1.5");
    type_over(Dlg(), ch.flow_control, "xon/xoff");

    mouse_click(Dlg(), IDC_SETTING);

    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
    const auto sent = sentRow();
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(sent->channel[0].baud_rate, 4);  // "9600" with ten baud rates
    EXPECT_EQ(sent->channel[0].data_bits, 0);
    EXPECT_EQ(sent->channel[0].stop_bits, 2);
    EXPECT_EQ(sent->channel[0].flow_control, 1);
    // What is shown is what went out.
    EXPECT_EQ(Dlg().text(ch.baud_rate), "9600");
    EXPECT_EQ(Dlg().comboCurSel(ch.baud_rate), 4);
    EXPECT_EQ(Dlg().text(ch.data_bits), "7");
    EXPECT_EQ(Dlg().text(ch.flow_control), "Xon/Xoff");
}

TEST_F(OperatorInput, TypedComboTextThatNamesNoEntryIsRefusedWithThatComboFocused) {
    addBoard(sample_row(product::kQuorin712P));
    ASSERT_TRUE(show_active(Dlg()));
    click_tab(Dlg(), IDC_CHANNEL_TAB, 1);
    type_over(Dlg(), kChannels[1].stop_bits, "3");
    click_tab(Dlg(), IDC_CHANNEL_TAB, 0);

    mouse_click(Dlg(), IDC_SETTING);

    EXPECT_EQ(
        messages.shown,
        QStringList{ui_text(text::kComboTextInvalid).arg(ui_text(text::label::kStopBit)).arg(2)});
    EXPECT_TRUE(nothingSent());
    EXPECT_EQ(Dlg().tabCurSel(IDC_CHANNEL_TAB), 1);
    EXPECT_TRUE(onView(2));
    EXPECT_EQ(Dlg().focusedId(), kChannels[1].stop_bits);
    EXPECT_EQ(Dlg().text(kChannels[1].stop_bits), "3");  // left for the operator to correct
}

// --- channels the board does not show -------------------------------------------------------

TEST_F(OperatorInput, FlowControlOfAChannelTheBoardDoesNotShowGoesOutAsTheBoardSentIt) {
    BoardRow davro = board_row(product::kDAVRO2xM, 1);
    davro.channel[1].flow_control = 3;  // "RTSOnly", which the next model does not offer
    BoardRow one_channel = board_row(product::kQuorin712PD, 2);
    one_channel.channel[1].flow_control = 1;
    addBoard(davro);
    addBoard(one_channel);
    ASSERT_TRUE(show_active(Dlg()));
    click_list_row(Dlg(), IDC_BOARD_LIST, 0);
    ASSERT_EQ(Dlg().text(kChannels[1].flow_control), "RTSOnly");
    click_list_row(Dlg(), IDC_BOARD_LIST, 1);
    ASSERT_EQ(Dlg().text(IDC_PRODUCT_CODE), "Quorin712PD");

    mouse_click(Dlg(), IDC_SETTING);

    const auto sent = sentRow();
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(sent->channel[1].flow_control, 1);
    for (const ChannelBlock& c : sent->channel) EXPECT_LT(c.flow_control, 3);
}

// --- the legacy socket at start-up ----------------------------------------------------------

// Reads and closes, with the Enter key, every message box that comes up while `run` runs.
QStringList answer_message_boxes(const std::function<void()>& run) {
    QStringList seen;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen << box->text();
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    closer.start(5);
    run();
    return seen;
}

TEST(LegacySocketAtStartUp, AFailureOtherThanAPortInUseIsReportedAsSuch) {
    NetworkTarget target;
    target.bind_address = QHostAddress(QStringLiteral("192.0.2.1"));  // not an address of ours
    target.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
    target.legacy_local_port = 0;
    platform::QtMessageBoxes boxes;
    platform::ManualWindowTimers timers;
    platform::ScriptedFileChooser files;
    CQuorinConfigToolApp app(boxes, target);
    CQuorinConfigToolDlg dlg(app, WindowServices{timers, files});

    const QStringList seen = answer_message_boxes([&] { dlg.OnInitDialog(); });

    const QString failed = ui_text(text::kSocketCreationFailed);
    EXPECT_EQ(seen, (QStringList{failed, failed}));  // the search socket, then the legacy one
    ASSERT_TRUE(show_active(dlg));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace quorin::testing
