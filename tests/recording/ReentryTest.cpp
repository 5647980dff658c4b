// Blocks that arrive from a nested event loop (the save dialog, a message box) while the recorder is busy,
// and messages raised by the block handler: no block is lost, doubled or reordered, and no box holds the
// handler.
#include "RecorderHarness.h"
#include "ports/Dispatcher.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quimbrel::testing {
namespace {

// Blocks numbered by their amplitude (n / 1000), so the written file shows which arrived and in what order.
class NumberedBlocks {
public:
    explicit NumberedBlocks(Harness& h) : m_h(h) {}
    void send() {
        ++m_sent;
        m_h.block(static_cast<float>(m_sent) / 1000.0f);
    }
    int sent() const { return m_sent; }
    // The block numbers found in a file of the fake writer's 16-bit blocks (2 x 1102 samples each).
    static std::vector<int> numbers(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::vector<int> found;
        std::vector<std::int16_t> samples(2 * 1102);
        while (in.read(reinterpret_cast<char*>(samples.data()),
                       static_cast<std::streamsize>(samples.size() * sizeof(std::int16_t))))
            found.push_back(static_cast<int>(std::lround(samples[0] / 32767.0 * 1000.0)));
        return found;
    }

private:
    Harness& m_h;
    int m_sent = 0;
};

// from..to, then the silent block (0) the stop is carried out on: it is written before the file closes.
std::vector<int> uptoThenStop(int from, int to) {
    std::vector<int> v;
    for (int i = from; i <= to; ++i)
        v.push_back(i);
    v.push_back(0);
    return v;
}

TEST(Reentry, BlocksDuringTheSaveDialogAreHandledAfterItInOrder) {
    Harness h;
    h.cfg.autoname.enabled = false;
    NumberedBlocks blocks(h);
    const std::string chosen = h.file("take.mp3");
    h.view.dialogAnswers.push_back(chosen);
    int handledDuringDialog = -1;
    h.view.duringDialog = [&] {
        for (int i = 0; i < 5; ++i)
            blocks.send();
        handledDuringDialog = h.log.writeCalls;
    };
    h.rec->StartClick();
    EXPECT_EQ(handledDuringDialog, 0) << "the handler is not entered while the start runs";
    for (int i = 0; i < 3; ++i)
        blocks.send();
    h.rec->StopClick();
    h.block(0.0f);
    // The blocks that came while the dialog was open went to the file it named, before the later ones.
    EXPECT_EQ(NumberedBlocks::numbers(chosen), uptoThenStop(1, 8));
}

TEST(Reentry, BlocksDuringAQuestionBoxAreHandledAfterItNoneTwiceNoneLost) {
    // The overwrite question is modal and needs its answer, so it is shown at once; the blocks that arrive
    // while it is open wait for the start to finish.
    Harness h;
    h.cfg.autoname.enabled = false;
    NumberedBlocks blocks(h);
    std::ofstream(h.file("old.mp3")) << "x";
    h.view.dialogAnswers.push_back(h.file("old.mp3"));
    h.messages.queueAnswer(MessageResult::Yes);
    h.messages.duringBox = [&] {
        for (int i = 0; i < 4; ++i)
            blocks.send();
    };
    h.rec->StartClick();
    ASSERT_EQ(h.messages.count(), 1u);
    EXPECT_EQ(h.messages.entries()[0].text, "This file already exists. Overwrite?");
    h.messages.duringBox = nullptr;
    for (int i = 0; i < 2; ++i)
        blocks.send();
    h.rec->StopClick();
    h.block(0.0f);
    EXPECT_EQ(NumberedBlocks::numbers(h.file("old.mp3")), uptoThenStop(1, 6));
}

TEST(Reentry, MessagesFromTheHandlerWaitUntilItReturnsAndRecordingGoesOn) {
    Harness h(monday(21, 0));
    h.cfg.scheduler.enabled = true;
    Dispatcher dispatcher;
    h.rec->setDispatcher(&dispatcher);
    // An event whose program cannot start: the handler raises "Scheduler error: ..." as it starts the
    // recording.
    recevent e;
    e.name = "Task";
    e.Enabled = true;
    e.repeat = 0;
    e.day[1] = true;
    e.starttime = makeTimeOfDay(22, 0, 0);
    e.stoptime = makeTimeOfDay(22, 30, 0);
    e.Task = true;
    e.Appname = "no-such-program-here";
    h.events.push_back(e);
    h.cfg.scheduler.numevents = 1;
    h.at(monday(22, 0) + 0.025 / 86400);
    ASSERT_EQ(h.log.created.size(), 1u);
    EXPECT_EQ(h.messages.count(), 0u) << "no box inside the block hand-off";

    // The box opens from the event loop after the handler returned; blocks handed over while it is open are
    // handled at once, into the same file.
    NumberedBlocks blocks(h);
    int handledWhileOpen = 0;
    h.messages.duringBox = [&] {
        const int before = h.log.writeCalls;
        for (int i = 0; i < 20; ++i)
            blocks.send();
        handledWhileOpen = h.log.writeCalls - before;
    };
    EXPECT_EQ(dispatcher.runPending(), 1u);
    ASSERT_EQ(h.messages.count(), 1u);
    EXPECT_EQ(h.messages.entries()[0].text.rfind("Scheduler error: ", 0), 0u);
    EXPECT_EQ(handledWhileOpen, 20);
    h.messages.duringBox = nullptr;
    for (int i = 0; i < 5; ++i)
        blocks.send();
    h.rec->StopClick();
    h.block(0.0f);
    EXPECT_EQ(NumberedBlocks::numbers(h.log.created[0]), uptoThenStop(0, 25));
    EXPECT_EQ(dispatcher.runPending(), 0u);
    EXPECT_EQ(h.messages.count(), 1u);
}

TEST(Reentry, TheSameMessageRaisedTwiceWhileHeldIsShownOnce) {
    Harness h;
    Dispatcher dispatcher;
    h.rec->setDispatcher(&dispatcher);
    h.cfg.archive.dir = h.file("missing");
    // Record pressed twice before the event loop ran: one warning.
    h.rec->StartClick();
    h.rec->StartClick();
    EXPECT_EQ(h.messages.count(), 0u);
    dispatcher.runPending();
    EXPECT_EQ(h.messages.count(), 1u);
}

} // namespace
} // namespace quimbrel::testing
