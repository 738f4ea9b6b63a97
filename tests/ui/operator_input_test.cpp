// The main window as the operator meets it: a shown, active window driven by mouse clicks and key
// presses. Focus, visibility and enabled state take part here as they do for a user, which the
// tests that call the window's operations directly cannot show.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

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
    static QString ui(std::string_view s) {
        return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
    }
    // The set request a board socket receives, decoded; nullopt when none came.
    std::optional<BoardRow> sentRow() {
        const auto request = receive_datagram(*mainBoard, 2000);
        if (!request) return std::nullopt;
        BoardRow row{};
        decode_main_reply(*request, row);
        return row;
    }
    bool nothingSent() { return !receive_datagram(*mainBoard, 200).has_value(); }
    // The channel page (1 to 4) whose controls are shown; 0 when not exactly one is.
    int pageShown() {
        int shown = 0;
        for (int page = 1; page <= 4; ++page) {
            const auto& ids = kChannels[static_cast<std::size_t>(page - 1)].all();
            const bool all = std::all_of(ids.begin(), ids.end(),
                                         [&](int id) { return Dlg().control(id)->isVisible(); });
            if (all) shown = shown == 0 ? page : -1;
        }
        return shown < 0 ? 0 : shown;
    }
};

// --- a failed check on a channel page that is not on view ----------------------------------

TEST_F(OperatorInput, PackingCharacterErrorOnAHiddenPageBringsThatPageUpWithItsEditFocused) {
    addBoard(sample_row(product::kQuorin712P));  // SW with valid trigger characters
    ASSERT_TRUE(show_active(Dlg()));
    click_tab(Dlg(), IDC_CHANNEL_TAB, 2);
    type_over(Dlg(), kChannels[2].packing_char, "zz");
    click_tab(Dlg(), IDC_CHANNEL_TAB, 0);
    ASSERT_EQ(pageShown(), 1);

    mouse_click(Dlg(), IDC_SETTING);

    EXPECT_EQ(messages.shown, QStringList{ui(text::kPackingCharInvalid[2])});
    EXPECT_TRUE(nothingSent());
    EXPECT_EQ(Dlg().tabCurSel(IDC_CHANNEL_TAB), 2);
    EXPECT_EQ(pageShown(), 3);
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
    mouse_click(Dlg(), IDC_STATIC_IP);
    ASSERT_EQ(Dlg().focusedId(), IDC_STATIC_IP);

    const struct {
        Qt::Key key;
        int checked;
        bool pppoe_fields, address_fields;
    } ip_steps[] = {
        {Qt::Key_Down, IDC_DHCP, false, false},     {Qt::Key_Right, IDC_PPPOE, true, false},
        {Qt::Key_Down, IDC_STATIC_IP, false, true},  // wraps round to the first
        {Qt::Key_Up, IDC_PPPOE, true, false},       {Qt::Key_Left, IDC_DHCP, false, false},
    };
    for (const auto& step : ip_steps) {
        SCOPED_TRACE(step.checked);
        press(step.key);
        EXPECT_EQ(Dlg().focusedId(), step.checked);
        for (int id : {IDC_STATIC_IP, IDC_DHCP, IDC_PPPOE})
            EXPECT_EQ(Dlg().isChecked(id), id == step.checked) << id;
        EXPECT_EQ(Dlg().isEnabled(IDC_PPPOE_ID), step.pppoe_fields);
        EXPECT_EQ(Dlg().isEnabled(IDC_LOCAL_IP), step.address_fields);
        // Another choice is left as it was.
        EXPECT_TRUE(Dlg().isChecked(IDC_SERIAL_HW));
    }

    // Disabled radios are passed over; a choice with one radio left clicks that one again.
    Dlg().enable(IDC_PPPOE, false);
    press(Qt::Key_Down);  // DHCP -> Static, past the disabled PPPoE
    EXPECT_TRUE(Dlg().isChecked(IDC_STATIC_IP));
    Dlg().enable(IDC_DHCP, false);
    Dlg().enable(IDC_LOCAL_IP, false);
    press(Qt::Key_Down);
    EXPECT_EQ(Dlg().focusedId(), IDC_STATIC_IP);
    EXPECT_TRUE(Dlg().isChecked(IDC_STATIC_IP));
    EXPECT_TRUE(Dlg().isEnabled(IDC_LOCAL_IP));  // the Static handler ran again

    // Serial command method: SW by keyboard enables the trigger edits, HW disables them.
    mouse_click(Dlg(), IDC_SERIAL_HW);
    press(Qt::Key_Right);
    EXPECT_TRUE(Dlg().isChecked(IDC_SERIAL_SW));
    EXPECT_FALSE(Dlg().isChecked(IDC_SERIAL_HW));
    EXPECT_TRUE(Dlg().isEnabled(IDC_TRIGGER1));
    press(Qt::Key_Left);
    EXPECT_TRUE(Dlg().isChecked(IDC_SERIAL_HW));
    EXPECT_FALSE(Dlg().isEnabled(IDC_TRIGGER1));

    // The channel choices: Server/Client and Raw/Telnet, each on its own.
    mouse_click(Dlg(), kChannels[0].server);
    press(Qt::Key_Down);
    EXPECT_TRUE(Dlg().isChecked(kChannels[0].client));
    EXPECT_FALSE(Dlg().isChecked(kChannels[0].server));
    EXPECT_TRUE(Dlg().isChecked(kChannels[0].raw_mode));
    mouse_click(Dlg(), kChannels[0].raw_mode);
    press(Qt::Key_Right);
    EXPECT_TRUE(Dlg().isChecked(kChannels[0].telnet_mode));
    EXPECT_FALSE(Dlg().isChecked(kChannels[0].raw_mode));
    EXPECT_TRUE(Dlg().isChecked(kChannels[0].client));
    EXPECT_TRUE(Dlg().isChecked(kChannels[1].server));  // channel 2 untouched

    mouse_click(Dlg(), IDC_SETTING);
    const auto sent = sentRow();
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(sent->ip_mode, 0);
    EXPECT_EQ(sent->channel[0].operation_mode, 1);
    EXPECT_EQ(sent->channel[0].data_mode, 1);
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

    EXPECT_EQ(messages.shown,
              QStringList{ui(text::kComboTextInvalid).arg(ui(text::label::kStopBit)).arg(2)});
    EXPECT_TRUE(nothingSent());
    EXPECT_EQ(Dlg().tabCurSel(IDC_CHANNEL_TAB), 1);
    EXPECT_EQ(pageShown(), 2);
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
    platform::RecordingMessagePoster poster;
    CQuorinConfigToolApp app(boxes, target);
    CQuorinConfigToolDlg dlg(app, WindowServices{timers, files, poster});

    const QStringList seen = answer_message_boxes([&] { dlg.OnInitDialog(); });

    const QString failed = ui_text(text::kSocketCreationFailed);
    EXPECT_EQ(seen, (QStringList{failed, failed}));  // the search socket, then the legacy one
    ASSERT_TRUE(show_active(dlg));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace quorin::testing
