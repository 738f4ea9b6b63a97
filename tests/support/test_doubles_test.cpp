// The doubles of the platform services: what the tests that use them rely on.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>
#include <thread>
#include <vector>

#include "tests/support/manual_window_timers.h"
#include "tests/support/recording_services.h"

namespace quorin::platform {
namespace {

TEST(RecordingMessageBoxes, RecordsInOrderAndCallsTheHook) {
    RecordingMessageBoxes boxes;
    QStringList hooked;
    boxes.on_show = [&](const QString& text) { hooked << text; };
    MessageBoxes& any = boxes;
    any.show("Setting Completed");
    any.show("ListBox Error");
    EXPECT_EQ(boxes.shown, QStringList({"Setting Completed", "ListBox Error"}));
    EXPECT_EQ(hooked, boxes.shown);
}

// --- manual timers -------------------------------------------------------------------------

TEST(ManualWindowTimers, FireDisarmsThenRunsTheHandler) {
    ManualWindowTimers timers;
    std::vector<int> expired;
    bool armed_in_handler = true;
    timers.setHandler([&](int id) {
        expired.push_back(id);
        armed_in_handler = timers.isArmed(id);
    });
    timers.SetTimer(3, 10000);
    EXPECT_TRUE(timers.isArmed(3));
    EXPECT_EQ(timers.period(3), 10000);
    EXPECT_TRUE(timers.fire(3));
    EXPECT_EQ(expired, std::vector<int>{3});
    EXPECT_FALSE(armed_in_handler);
    EXPECT_FALSE(timers.isArmed(3));
    EXPECT_EQ(timers.period(3), std::nullopt);
    EXPECT_FALSE(timers.fire(3));  // one-shot: no second expiry
    EXPECT_EQ(expired.size(), 1u);
}

TEST(ManualWindowTimers, HandlerMayReArm) {
    ManualWindowTimers timers;
    int expiries = 0;
    timers.setHandler([&](int id) {
        if (++expiries < 11) timers.SetTimer(id, 500);
    });
    timers.SetTimer(20, 500);
    while (timers.fire(20)) {
    }
    EXPECT_EQ(expiries, 11);
    EXPECT_EQ(timers.armCount(20), 11);
}

TEST(ManualWindowTimers, KillAndRestart) {
    ManualWindowTimers timers;
    int expiries = 0;
    timers.setHandler([&](int) { ++expiries; });
    timers.SetTimer(2, 5000);
    timers.KillTimer(2);
    EXPECT_FALSE(timers.fire(2));
    timers.SetTimer(1, 100);
    timers.SetTimer(1, 300);  // re-arming restarts with the new period
    EXPECT_EQ(timers.period(1), 300);
    EXPECT_EQ(timers.armCount(1), 2);
    EXPECT_TRUE(timers.fire(1));
    EXPECT_EQ(expiries, 1);
}

TEST(ManualWindowTimers, ArmedFromAnotherThread) {
    ManualWindowTimers timers;
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i) timers.SetTimer(3, 10000);
    });
    for (int i = 0; i < 1000; ++i) (void)timers.isArmed(3);
    worker.join();
    EXPECT_EQ(timers.armCount(3), 1000);
    EXPECT_TRUE(timers.isArmed(3));
}

// --- file chooser --------------------------------------------------------------------------

TEST(ScriptedFileChooser, ReturnsTheScriptedChoiceAndKeepsTheFilter) {
    ScriptedFileChooser chooser;
    FileChooser& any = chooser;
    EXPECT_EQ(any.chooseOpenFile(nullptr, "Binary Format(*.bin)|*.bin||"), std::nullopt);
    chooser.next = QString("/tmp/image.bin");
    EXPECT_EQ(any.chooseOpenFile(nullptr, "x"), QString("/tmp/image.bin"));
    EXPECT_EQ(chooser.last_filter, "x");
}

}  // namespace
}  // namespace quorin::platform
