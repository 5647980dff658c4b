// The session's documents: what open() reads, what close() and save() write, and when.
#include "RecorderHarness.h"
#include "StateFixture.h"

#include "ports/Dispatcher.h"
#include "recording/Recorder.h"
#include "session/Session.h"
#include "state/AtomicFile.h"
#include "state/names.h"

namespace quimbrel {
namespace {

using test::exists;
using test::readFile;

// Without the catalogue and the line: the documents and the database only, no sound server needed.
constexpr Session::Steps kNoAudio{.catalogue = false, .documents = true, .database = true, .line = false};

class SessionDocuments : public test::TempHome {
protected:
    std::unique_ptr<Session> makeSession() {
        return std::make_unique<Session>(view, port, dispatcher, clock);
    }
    testing::FakeView view;
    RecordingMessagePort port;
    Dispatcher dispatcher;
    SystemClock clock;
};

recevent cancelledEvent(const std::string& name) {
    recevent e;
    e.name = name;
    e.repeat = 2;
    e.starttime = 0.25;
    e.stoptime = 0.5;
    e.cancelled = true;
    e.Enabled = true;
    return e;
}

TEST_F(SessionDocuments, CloseSavesAllThreeDocumentsAndTheNextOpenReadsThemBack) {
    {
        auto session = makeSession();
        ASSERT_EQ(session->open(kNoAudio), Session::OpenResult::Opened);
        EXPECT_EQ(session->cfg().datafolder, dataDir());
        EXPECT_TRUE(session->database().isOpen());
        session->cfg().codec.index = 4;
        session->events() = {cancelledEvent("news"), cancelledEvent("late show")};
        session->names() = {"rec-NUM", "YY-MM-DD"};
        session->close(true);
    }
    EXPECT_NE(readFile(dataDir() + "quimbrel.xml").find("numevents=\"2\""), std::string::npos);
    EXPECT_NE(readFile(dataDir() + "events.xml").find("<events number=\"2\""), std::string::npos);
    EXPECT_NE(readFile(dataDir() + "names.xml").find("string=\"rec-NUM\""), std::string::npos);

    auto again = makeSession();
    ASSERT_EQ(again->open(kNoAudio), Session::OpenResult::Opened);
    EXPECT_EQ(again->cfg().codec.index, 4);
    ASSERT_EQ(again->events().size(), 2u);
    EXPECT_EQ(again->events()[1].name, "late show");
    // A cancellation holds only for the run it was made in.
    EXPECT_FALSE(again->events()[0].cancelled);
    EXPECT_FALSE(again->events()[1].cancelled);
    EXPECT_EQ(again->names(), (std::vector<std::string>{"rec-NUM", "YY-MM-DD"}));
    EXPECT_EQ(port.count(), 0u);
}

// quimbrel-cli edits events.xml while a window runs: the window's close keeps those edits unless the window
// changed its own table meanwhile, in which case its table is what it saves.
TEST_F(SessionDocuments, CloseKeepsEventsWrittenMeanwhileUnlessItsOwnTableChanged) {
    ASSERT_TRUE(makeFolders(dataDir()));
    ASSERT_TRUE(writeeventsfile(dataDir() + "events.xml", {cancelledEvent("loaded")}));
    const eventtable fromOutside{cancelledEvent("from the command line"), cancelledEvent("second")};
    {
        auto session = makeSession();
        ASSERT_EQ(session->open(kNoAudio), Session::OpenResult::Opened);
        // Opening clears the cancellation: that change is the session's own and is saved.
        session->close(true);
    }
    {
        auto session = makeSession();
        ASSERT_EQ(session->open(kNoAudio), Session::OpenResult::Opened);
        ASSERT_TRUE(writeeventsfile(dataDir() + "events.xml", fromOutside));
        session->close(true);
    }
    std::string events = readFile(dataDir() + "events.xml");
    EXPECT_NE(events.find("from the command line"), std::string::npos);
    EXPECT_NE(events.find("<events number=\"2\""), std::string::npos);
    {
        auto session = makeSession();
        ASSERT_EQ(session->open(kNoAudio), Session::OpenResult::Opened);
        ASSERT_TRUE(writeeventsfile(dataDir() + "events.xml", {cancelledEvent("overwritten")}));
        session->events().pop_back();
        session->close(true);
    }
    events = readFile(dataDir() + "events.xml");
    EXPECT_EQ(events.find("overwritten"), std::string::npos);
    EXPECT_NE(events.find("<events number=\"1\""), std::string::npos);
    EXPECT_EQ(port.count(), 0u);
}

TEST_F(SessionDocuments, NothingIsWrittenUnlessAnOpenSessionClosesWithSaving) {
    {
        auto neverOpened = makeSession();
        neverOpened->close(true);
    }
    EXPECT_FALSE(exists(dataDir() + "quimbrel.xml"));
    {
        auto session = makeSession();
        ASSERT_EQ(session->open(kNoAudio), Session::OpenResult::Opened);
        session->names() = {"kept out"};
        session->close(false);
        // A second close does nothing either.
        session->close(true);
    }
    for (const char* f : {"quimbrel.xml", "events.xml", "names.xml"})
        EXPECT_FALSE(exists(dataDir() + f)) << f;
}

TEST_F(SessionDocuments, UnreadableDocumentsAreReportedAndTheSessionStillOpens) {
    test::writeFile(dataDir() + "quimbrel.xml", "<Config><codec");
    test::writeFile(dataDir() + "events.xml", "<Scheduler><events number=\"x\"/></Scheduler>");
    test::writeFile(dataDir() + "names.xml", "not xml");
    auto session = makeSession();
    ASSERT_EQ(session->open(kNoAudio), Session::OpenResult::Opened);
    std::vector<std::string> texts;
    for (const auto& e : port.entries())
        texts.push_back(e.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Error loading settings. Default settings will be restored",
                                               "Can't Load Scheduler Data", "Can't Load Naming Rules"}));
    EXPECT_EQ(session->cfg().codec.index, config{}.codec.index);
    EXPECT_TRUE(session->events().empty());
    EXPECT_TRUE(session->names().empty());
}

} // namespace
} // namespace quimbrel
