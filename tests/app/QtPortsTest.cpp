// The window's ports: a worker thread's message box reaches the user while the UI thread only serves
// hand-offs (as it does while it waits for the capture thread to end).
#include "AppFixture.h"

#include "QtDispatcher.h"
#include "QtMessagePort.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace quimbrel;
using namespace apptest;

TEST(QtPorts, WorkerMessageIsShownWhileTheUiThreadServesOnlyHandOffs) {
    ensureApplication();
    QtDispatcher dispatcher;
    QtMessagePort port;
    port.setDispatcher(&dispatcher);
    BoxAnswerer answer({QMessageBox::No});
    std::atomic<bool> done{false};
    MessageResult result = MessageResult::None;
    std::thread worker([&] {
        result = port.show("Device gone", "Audio Device Error", MessageIcon::Error, MessageButtons::YesNo);
        done = true;
    });
    const bool served = dispatcher.runUntil([&] { return done.load(); }, std::chrono::seconds(30));
    if (!served)
        waitUntil([&] { return done.load(); }); // let a stuck box go before joining
    worker.join();
    EXPECT_TRUE(served);
    EXPECT_EQ(result, MessageResult::No);
    ASSERT_EQ(answer.texts().size(), 1u);
    EXPECT_EQ(answer.texts()[0], QStringLiteral("Device gone"));
}

TEST(QtPorts, UiThreadMessageReturnsTheButtonPressed) {
    ensureApplication();
    QtMessagePort port;
    {
        BoxAnswerer answer({QMessageBox::Ok});
        EXPECT_EQ(port.show("Saved", "Quimbrel", MessageIcon::Information, MessageButtons::Ok),
                  MessageResult::Ok);
    }
    {
        BoxAnswerer answer({QMessageBox::Yes});
        EXPECT_EQ(port.show("Stop?", "Quimbrel", MessageIcon::Question, MessageButtons::YesNo),
                  MessageResult::Yes);
        EXPECT_EQ(answer.texts().size(), 1u);
    }
}
