// Message boxes, window timers, calls handed between threads and the file-open filter.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/call_queue.h"
#include "platform/platform_services.h"

namespace quorin::platform {
namespace {

// Runs the event loop until `done` or `limit_ms` has passed; returns `done()`.
template <typename Done>
bool process_until(Done done, int limit_ms = 2000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limit_ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return done();
}

TEST(ApplicationTitle, IsTheExecutableNameWithoutExtension) {
    EXPECT_EQ(application_title(), "platform_tests");
    EXPECT_EQ(application_title(),
              QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
}

// --- Qt timers -----------------------------------------------------------------------------

TEST(QtWindowTimers, ExpireOnceOnTheOwnersThread) {
    QtWindowTimers timers;
    std::vector<int> expired;
    bool on_main_thread = false;
    timers.setHandler([&](int id) {
        expired.push_back(id);
        on_main_thread = QThread::currentThread() == qApp->thread();
    });
    timers.SetTimer(30, 5);
    EXPECT_TRUE(timers.isArmed(30));
    ASSERT_TRUE(process_until([&] { return !expired.empty(); }));
    EXPECT_TRUE(on_main_thread);
    EXPECT_FALSE(timers.isArmed(30));
    process_until([] { return false; }, 50);
    EXPECT_EQ(expired, std::vector<int>{30});
}

TEST(QtWindowTimers, KilledTimerDoesNotExpire) {
    QtWindowTimers timers;
    int expiries = 0;
    timers.setHandler([&](int) { ++expiries; });
    timers.SetTimer(2, 10);
    timers.KillTimer(2);
    EXPECT_FALSE(timers.isArmed(2));
    process_until([] { return false; }, 60);
    EXPECT_EQ(expiries, 0);
}

TEST(QtWindowTimers, ArmedFromAnotherThreadExpiresOnTheOwnersThread) {
    QtWindowTimers timers;
    std::atomic<bool> expired{false};
    std::atomic<bool> on_main_thread{false};
    timers.setHandler([&](int) {
        on_main_thread = QThread::currentThread() == qApp->thread();
        expired = true;
    });
    std::thread worker([&] { timers.SetTimer(3, 5); });
    worker.join();
    ASSERT_TRUE(process_until([&] { return expired.load(); }));
    EXPECT_TRUE(on_main_thread);
}

// --- calls handed between threads ----------------------------------------------------------

// The worker goes on running while the call runs, as a worker thread of the tool does: whatever
// it wrote before posting must be seen by the call (a ThreadSanitizer build reports a race if the
// hand-off is not marked for it).
TEST(CallQueue, ACallSeesWhatThePostingThreadWroteBeforePosting) {
    CallQueue queue;
    int written = 0;  // deliberately plain: the post hands it over
    int seen = 0;
    std::atomic<bool> ran{false};
    bool on_main_thread = false;
    std::thread worker([&] {
        written = 42;
        queue.post([&] {
            seen = written;
            on_main_thread = QThread::currentThread() == qApp->thread();
            ran = true;
        });
        while (!ran) std::this_thread::yield();
    });
    const bool delivered = process_until([&] { return ran.load(); });
    worker.join();
    ASSERT_TRUE(delivered);
    EXPECT_EQ(seen, 42);
    EXPECT_TRUE(on_main_thread);
}

TEST(CallQueue, CallsOfADestroyedQueueAreDropped) {
    bool ran = false;
    {
        CallQueue queue;
        queue.post([&] { ran = true; });
    }
    process_until([] { return false; }, 30);
    EXPECT_FALSE(ran);
}

// --- file-open filter ----------------------------------------------------------------------

TEST(FileFilter, PlatformFormToQtForm) {
    struct Case {
        const char* platform;
        const char* qt;
    };
    const Case cases[] = {
        {"Binary Format(*.bin)|*.bin||", "Binary Format(*.bin) (*.bin)"},
        {"Binary Format(*.bin)|*.bin|All Files (*.*)|*.*||",
         "Binary Format(*.bin) (*.bin);;All Files (*.*) (*.*)"},
        {"Images|*.bmp;*.png||", "Images (*.bmp *.png)"},
        {"Images|*.bmp; *.png|", "Images (*.bmp *.png)"},
        {"Binary|*.bin", "Binary (*.bin)"},
        {"No patterns||", ""},
        {"", ""},
        {"|*.bin||", "(*.bin)"},
    };
    for (const Case& c : cases) EXPECT_EQ(qt_file_filter(c.platform), c.qt) << c.platform;
}

}  // namespace
}  // namespace quorin::platform
