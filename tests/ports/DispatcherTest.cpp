// The hand-off runs tasks on the owning thread, waits for them, and survives a stop while one is pending.
#include "ports/Dispatcher.h"
#include "ports/Clock.h"
#include "ports/MessagePort.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace quimbrel;
using namespace std::chrono_literals;

TEST(Dispatcher, RunsEachTaskOnTheOwningThreadAndWaitsForIt) {
    Dispatcher d;
    const auto owner = std::this_thread::get_id();
    std::atomic<int> ran{0};
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        for (int i = 0; i < 20; ++i) {
            int before = ran.load();
            d.invoke([&] {
                EXPECT_EQ(std::this_thread::get_id(), owner);
                ++ran;
            });
            // invoke() returns only after the task ran.
            EXPECT_EQ(ran.load(), before + 1);
        }
        workerDone = true;
    });
    EXPECT_TRUE(d.runUntil([&] { return workerDone.load(); }, 10s));
    worker.join();
    EXPECT_EQ(ran.load(), 20);
}

TEST(Dispatcher, OwningThreadInvokeRunsAtOnceAndErrorsReachTheCaller) {
    Dispatcher d;
    int x = 0;
    d.invoke([&] { x = 1; });
    EXPECT_EQ(x, 1);

    std::atomic<bool> caught{false};
    std::thread worker([&] {
        try {
            d.invoke([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
    });
    d.runUntil([&] { return caught.load(); }, 10s);
    worker.join();
    EXPECT_TRUE(caught.load());
}

TEST(Dispatcher, DestructionReleasesAWaitingWorker) {
    std::atomic<bool> returned{false};
    std::thread worker;
    {
        Dispatcher d;
        worker = std::thread([&] {
            d.invoke([] {});
            returned = true;
        });
        std::this_thread::sleep_for(50ms);
    }
    worker.join();
    EXPECT_TRUE(returned.load());
}

TEST(Dispatcher, PostedTasksRunLaterInOrderWithoutAnyoneWaiting) {
    std::vector<int> order;
    auto d = std::make_unique<Dispatcher>();
    // A worker that posts returns at once, before the owning thread has run anything.
    std::thread worker([&] {
        d->post([&] { order.push_back(1); });
        d->post([&] { order.push_back(2); });
    });
    worker.join();
    EXPECT_TRUE(order.empty());
    // Posted on the owning thread, a task is still deferred; one that throws does not stop the others.
    d->post([] { throw std::runtime_error("dropped"); });
    d->post([&] { order.push_back(3); });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(d->runPending(), 4u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    // What is still queued at destruction never runs.
    d->post([&] { order.push_back(4); });
    d.reset();
    EXPECT_EQ(order.size(), 3u);
}

TEST(MessagePorts, StreamPortFlattensLinesAndRecordingPortScriptsAnswers) {
    std::ostringstream out;
    StreamMessagePort port(out);
    EXPECT_EQ(port.show("a\r\nb", "Caption", MessageIcon::Error, MessageButtons::Ok), MessageResult::Ok);
    EXPECT_EQ(out.str(), "Caption: a  b\n");

    RecordingMessagePort rec;
    rec.queueAnswer(MessageResult::No);
    EXPECT_EQ(rec.show("q?", "c", MessageIcon::Question, MessageButtons::YesNo), MessageResult::No);
    EXPECT_EQ(rec.show("q?", "c", MessageIcon::Question, MessageButtons::YesNo), MessageResult::Yes);
    ASSERT_EQ(rec.count(), 2u);
    EXPECT_EQ(rec.entries()[0].text, "q?");
}

TEST(Clock, SystemClockIsADayNumberOfToday) {
    SystemClock c;
    const double now = c.now();
    // 2020-01-01 is day 43831; any machine running this is past it and before 2100 (day 73051).
    EXPECT_GT(now, 43831.0);
    EXPECT_LT(now, 73051.0);
    ManualClock m(45000.5);
    m.advanceSeconds(43200);
    EXPECT_DOUBLE_EQ(m.now(), 45001.0);
}
