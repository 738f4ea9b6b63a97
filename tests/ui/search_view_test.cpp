// Who decides what the board controls show during a search: the rule alone, then the shown window
// driven by real mouse and keyboard input while late replies arrive over loopback.
#include <QListWidget>
#include <QTabBar>
#include <QTest>
#include <functional>

#include "app/config_sock.h"
#include "tests/ui/board_rows.h"
#include "tests/ui/window_fixture.h"
#include "ui/search_view.h"

namespace quorin::testing {
namespace {

using namespace res;

TEST(SearchViewRule, ShowsTheFirstBoardUntilTheOperatorTakesOver) {
    const BoardRow first = board_row(product::kQuorin712P, 1);
    BoardRow changed = first;
    changed.gateway_ip = {10, 9, 9, 9};
    struct Case {
        const char* name;
        std::function<void(SearchView&)> before;
        int selected;
        const BoardRow* first_row;
        bool shows;
    };
    const auto nothing = [](SearchView&) {};
    const auto shown_first = [&](SearchView& v) { v.shown(0, first); };
    const Case cases[] = {
        {"first reply: nothing shown yet", nothing, -1, &first, true},
        {"table still empty", nothing, -1, nullptr, true},
        {"first board shown as it is", shown_first, 0, &first, false},
        {"first board's row changed", shown_first, 0, &changed, true},
        {"selection lost", shown_first, -1, &first, true},
        {"another board shown", [&](SearchView& v) { v.shown(1, first); }, 0, &first, true},
        {"operator acted", [](SearchView& v) { v.operatorActed(); }, -1, &first, false},
        {"operator acted, then a new search",
         [&](SearchView& v) {
             v.shown(0, first);
             v.operatorActed();
             v.searchStarted();
         },
         0, &first, true},
    };
    for (const Case& c : cases) {
        SearchView view;
        c.before(view);
        EXPECT_EQ(view.replyShowsFirstBoard(c.selected, c.first_row), c.shows) << c.name;
    }
}

// Everything a board display writes, to see whether a reply touched the controls.
struct ControlsSnapshot {
    std::map<int, QString> texts;
    std::map<int, bool> checks, enabled;
    std::map<int, int> combos;
    int tab = -1, selected = -1;
    friend bool operator==(const ControlsSnapshot&, const ControlsSnapshot&) = default;
};

ControlsSnapshot snapshot(const CQuorinConfigToolDlg& dlg) {
    ControlsSnapshot s;
    for (int id : dlg.controlIds()) {
        if (id == IDC_BOARD_LIST) continue;
        s.texts[id] = dlg.text(id);
        s.checks[id] = dlg.isChecked(id);
        s.enabled[id] = dlg.isEnabled(id);
        s.combos[id] = dlg.comboCurSel(id);
    }
    s.tab = dlg.tabCurSel(IDC_CHANNEL_TAB);
    s.selected = dlg.listCurSel(IDC_BOARD_LIST);
    return s;
}

class LateReplies : public WindowFixture {
  protected:
    void SetUp() override {
        WindowFixture::SetUp();
        Dlg().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Dlg()));
    }
    void clickControl(int id) { QTest::mouseClick(Dlg().control(id), Qt::LeftButton); }
    // A search reply of `row` from a board on loopback, as a board would send it.
    void reply(const BoardRow& row) {
        const auto bytes = encode_main_datagram(row, OPCODE_SEARCH_REPLY, 0);
        const std::uint64_t before = App().searchSocket()->datagramsRead();
        mainBoard->writeDatagram(reinterpret_cast<const char*>(bytes.data()),
                                 static_cast<qint64>(bytes.size()), QHostAddress::LocalHost,
                                 App().searchSocket()->localPort());
        ASSERT_TRUE(waitFor([&] { return App().searchSocket()->datagramsRead() == before + 1; }));
    }
    QListWidget& boardList() { return *qobject_cast<QListWidget*>(Dlg().control(IDC_BOARD_LIST)); }

    const BoardRow a = board_row(product::kQuorin712P, 1);
    const BoardRow b = board_row(product::kBRV406H, 2);
    const BoardRow c = board_row(product::kDAVRO2xM, 3);
};

TEST_F(LateReplies, DuringTheSearchTheFirstBoardIsShownAsRepliesArrive) {
    clickControl(IDC_SEARCH);
    ASSERT_EQ(Core().operation_state(), OperationState::Search);
    reply(a);
    EXPECT_EQ(Dlg().listCurSel(IDC_BOARD_LIST), 0);
    EXPECT_EQ(Dlg().text(IDC_PRODUCT_CODE), "Quorin712P");
    EXPECT_TRUE(Dlg().isEnabled(IDC_SETTING));
    reply(b);
    EXPECT_EQ(Dlg().listCount(IDC_BOARD_LIST), 2);
    EXPECT_EQ(Dlg().listCurSel(IDC_BOARD_LIST), 0);
    EXPECT_EQ(Dlg().text(IDC_PRODUCT_CODE), "Quorin712P");

    // A duplicate of the first board does not run the display again: a value put into a control
    // by the program (no operator act) stays.
    Dlg().setText(IDC_GATEWAY, "1.2.3.4");
    reply(a);
    EXPECT_EQ(Dlg().text(IDC_GATEWAY), "1.2.3.4");
    EXPECT_EQ(Dlg().listCount(IDC_BOARD_LIST), 2);

    // A new Search hands the view back to the search.
    clickControl(IDC_SEARCH);
    reply(b);
    EXPECT_EQ(Dlg().listCurSel(IDC_BOARD_LIST), 0);
    EXPECT_EQ(Dlg().text(IDC_PRODUCT_CODE), "BRV406H");
}

TEST_F(LateReplies, AfterTheOperatorTookOverRepliesAreOnlyListed) {
    struct Act {
        const char* name;
        std::function<void()> act;
    };
    const Act acts[] = {
        {"clicks the second board in the list",
         [&] {
             QListWidget& list = boardList();
             QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                               list.visualItemRect(list.item(1)).center());
             ASSERT_EQ(Dlg().text(IDC_PRODUCT_CODE), "BRV406H");
         }},
        {"types a local port",
         [&] {
             QWidget* port = Dlg().control(kChannels[0].local_port);
             QTest::mouseClick(port, Qt::LeftButton);
             QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
             QTest::keyClicks(port, "4321");
             ASSERT_EQ(Dlg().text(kChannels[0].local_port), "4321");
         }},
        {"switches to the second channel tab",
         [&] {
             auto* bar = Dlg().control(IDC_CHANNEL_TAB)->findChild<QTabBar*>();
             ASSERT_NE(bar, nullptr);
             QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
             ASSERT_EQ(Dlg().tabCurSel(IDC_CHANNEL_TAB), 1);
         }},
    };
    for (const Act& act : acts) {
        SCOPED_TRACE(act.name);
        clickControl(IDC_SEARCH);
        reply(a);
        reply(b);
        act.act();
        const ControlsSnapshot before = snapshot(Dlg());

        reply(c);  // a slow board
        reply(a);  // a duplicate
        EXPECT_EQ(Dlg().listItems(IDC_BOARD_LIST),
                  (QStringList{"00:08:DC:00:02:01", "00:08:DC:00:05:02", "00:08:DC:00:06:03"}));
        EXPECT_TRUE(snapshot(Dlg()) == before);
        EXPECT_TRUE(messages.shown.isEmpty());
    }
}

}  // namespace
}  // namespace quorin::testing
