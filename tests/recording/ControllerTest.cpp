// The recording controller: Record, Stop and Pause, file naming through the save dialog, writer creation and
// what happens to every finished file.
#include "RecorderHarness.h"
#include "recording/RecordingController.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace quimbrel::testing {
namespace {

constexpr float kSound = 0.5f;

TEST(Controller, StartRefusesWithoutFolderOrSource) {
    {
        Harness h;
        h.cfg.archive.dir = h.folder.path + "missing/";
        h.rec->StartClick();
        ASSERT_EQ(h.messages.count(), 1u);
        EXPECT_EQ(h.messages.entries()[0].text.rfind("The output folder for audio files does not exist.", 0),
                  0u);
        EXPECT_EQ(h.messages.entries()[0].icon, MessageIcon::Warning);
        EXPECT_TRUE(h.rec->buttonEnabled(RecorderButton::Record));
        EXPECT_TRUE(h.log.created.empty());
    }
    {
        Harness h;
        h.source.ok = false;
        h.rec->StartClick();
        ASSERT_EQ(h.messages.count(), 1u);
        EXPECT_EQ(h.messages.entries()[0].text.rfind("Current recording source is not available.", 0), 0u);
        EXPECT_FALSE(h.st().fileopen);
    }
}

TEST(Controller, RecordAndStopDriveButtonsStatusAndLabel) {
    Harness h;
    h.cfg.mixer.record = 42;
    h.rec->StartClick();
    EXPECT_EQ(h.view.status, "Recording");
    EXPECT_EQ(h.view.statusColour, (StatusColour{255, 255, 255}));
    EXPECT_EQ(h.view.fileLabel, "File:  take100.mp3");
    EXPECT_EQ(h.view.fileHint, h.file("take100.mp3"));
    EXPECT_EQ(h.view.volume, 42);
    EXPECT_FALSE(h.rec->buttonEnabled(RecorderButton::Record));
    EXPECT_TRUE(h.rec->buttonEnabled(RecorderButton::Stop));
    EXPECT_TRUE(h.rec->buttonEnabled(RecorderButton::Pause));
    EXPECT_FALSE(h.rec->buttonEnabled(RecorderButton::Play));
    EXPECT_FALSE(h.rec->buttonEnabled(RecorderButton::Library));
    h.run(kSound, 1);

    h.rec->StopClick();
    EXPECT_TRUE(h.st().stoprequest);
    EXPECT_TRUE(h.finished.empty()) << "the file closes at the end of the next block";
    h.block(kSound);
    EXPECT_EQ(h.finished, std::vector<std::string>{h.file("take100.mp3")});
    EXPECT_EQ(h.view.status, "Ready");
    EXPECT_EQ(h.view.statusColour, (StatusColour{0, 0, 0}));
    EXPECT_EQ(h.st().lastfile, h.file("take100.mp3"));
    EXPECT_TRUE(h.rec->buttonEnabled(RecorderButton::Library));
    EXPECT_FALSE(h.rec->buttonEnabled(RecorderButton::Stop));
    EXPECT_GT(h.view.libraryRefreshes, 0);
}

TEST(Controller, SaveDialogAsksAgainOnNoAndCancelLeavesNothing) {
    Harness h;
    h.cfg.autoname.enabled = false;
    const std::string existing = h.file("old.mp3");
    std::ofstream(existing) << "keep";
    h.view.dialogAnswers = {existing, std::nullopt};
    h.messages.queueAnswer(MessageResult::No);
    h.rec->StartClick();
    EXPECT_EQ(h.view.dialogRuns, 2);
    ASSERT_EQ(h.messages.count(), 1u);
    EXPECT_EQ(h.messages.entries()[0].text, "This file already exists. Overwrite?");
    EXPECT_EQ(h.messages.entries()[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(h.view.lastDialog.defaultExtension, "mp3");
    EXPECT_EQ(h.view.lastDialog.initialFolder, h.folder.path);
    EXPECT_TRUE(h.log.created.empty());
    EXPECT_FALSE(h.st().writing);
    EXPECT_TRUE(h.rec->buttonEnabled(RecorderButton::Record));
    EXPECT_EQ(h.st().schedule.eventfilename, "");

    h.view.dialogAnswers = {existing};
    h.messages.queueAnswer(MessageResult::Yes);
    h.rec->StartClick();
    EXPECT_EQ(h.log.created, std::vector<std::string>{existing});
    EXPECT_EQ(h.st().schedule.eventfilename, "old.mp3");
}

TEST(Controller, PauseRecordOnlyAfterADialogName) {
    struct Case {
        bool autoname;
        bool scheduled;
        bool paused;
    };
    for (const Case c : {Case{false, false, true}, Case{true, false, false}, Case{false, true, false}}) {
        Harness h;
        h.cfg.pauserecord.enabled = true;
        h.cfg.autoname.enabled = c.autoname;
        h.view.dialogAnswers = {h.file("named.mp3")};
        if (c.scheduled) {
            h.cfg.scheduler.enabled = true;
            recevent e;
            e.name = "Show";
            e.filename = "Show";
            e.Enabled = true;
            e.repeat = 2;
            e.day.fill(true);
            e.starttime = makeTimeOfDay(9, 0, 0);
            e.stoptime = makeTimeOfDay(11, 0, 0);
            h.events.push_back(e);
            h.cfg.scheduler.numevents = 1;
            h.block(0.0f);
        } else {
            h.rec->StartClick();
        }
        ASSERT_TRUE(h.st().writing);
        EXPECT_EQ(h.st().paused, c.paused) << c.autoname << c.scheduled;
    }
}

TEST(Controller, WriterCreationFailureIsShownAndNothingIsWritten) {
    Harness h;
    h.rec->setWriterFactory([](const std::string&, const WaveFormat&) -> std::unique_ptr<TAudioWriter> {
        throw WriterError("disk on fire");
    });
    EXPECT_EQ(h.rec->startrecord(), 1);
    ASSERT_EQ(h.messages.count(), 1u);
    const auto m = h.messages.entries()[0];
    EXPECT_EQ(m.caption, "Can not create audio file.");
    EXPECT_EQ(m.icon, MessageIcon::Error);
    EXPECT_EQ(m.text.rfind("Error: disk on fire\nPlease open Settings window", 0), 0u);
    EXPECT_FALSE(h.st().writing);
    EXPECT_TRUE(h.st().fileopen);
    h.run(kSound, 1);
}

TEST(Controller, MissingOutputFolderFallsBackToProgramFolderAtStart) {
    Harness h;
    h.cfg.archive.dir = h.folder.path + "gone/";
    h.cfg.path.dir = h.folder.path + "program";
    std::filesystem::create_directories(h.cfg.path.dir);
    EXPECT_EQ(h.rec->startrecord(), 0);
    EXPECT_EQ(h.cfg.archive.dir, h.folder.path + "program");
    EXPECT_EQ(h.log.created[0], h.folder.path + "program/take100.mp3");
}

TEST(Controller, StopWhileVoxListeningDoesNotCutOrDelete) {
    Harness h;
    h.cfg.vox.enabled = true;
    h.cfg.vox.action = 2;
    h.cfg.vox.cutoff = true;
    h.cfg.autodelete.enabled = true;
    h.cfg.autodelete.deletetime = 60;
    h.rec->StartClick();
    h.run(kSound, 1);
    h.rec->StopClick();
    EXPECT_FALSE(h.st().vox.voxarmed);
    h.block(kSound);
    EXPECT_TRUE(h.exists("take100.mp3"));
    EXPECT_GT(std::filesystem::file_size(h.file("take100.mp3")), 0u);
    EXPECT_EQ(h.view.status, "Ready");
}

TEST(Controller, PlaybackModeUsesThePlaybackKnobAndHooks) {
    Harness h;
    h.cfg.mixer.playback = 30;
    h.cfg.mixer.record = 80;
    h.rec->beginPlayback(h.file("x.mp3"));
    EXPECT_EQ(h.st().mode, RecorderMode::Playback);
    EXPECT_EQ(h.view.status, "Play");
    EXPECT_EQ(h.rec->knobPosition(), 30);
    h.rec->volumemainChange(35);
    EXPECT_EQ(h.cfg.mixer.playback, 35);
    EXPECT_EQ(h.cfg.mixer.record, 80) << "the recording level is left alone in playback mode";
    h.rec->StopClick();
    EXPECT_EQ(h.st().mode, RecorderMode::Record);
    EXPECT_EQ(h.rec->knobPosition(), 80);
    EXPECT_FALSE(h.st().stoprequest);
    EXPECT_TRUE(h.rec->buttonEnabled(RecorderButton::Record));
}

// The tagger gets the file name as one argument, whatever it contains, and no shell ever sees it.
TEST(Controller, TaggerReceivesTheFileNameIntact) {
    Harness h;
    const std::string out = h.file("args.txt");
    const std::string tagger = h.file("tagger.sh");
    std::ofstream(tagger) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << out << "'\n";
    ::chmod(tagger.c_str(), 0755);
    h.cfg.runtagger.enabled = true;
    h.cfg.taggerpath = tagger;
    h.cfg.autoname.expression = "it's \"$(touch pwned)\"; touch pwned2 `x`";
    h.rec->StartClick();
    h.run(kSound, 1);
    h.rec->StopClick();
    h.block(kSound);
    ASSERT_EQ(h.finished.size(), 1u);
    for (int i = 0; i < 500 && h.rec->runningPrograms() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(out);
    std::string line1, line2;
    std::getline(in, line1);
    std::getline(in, line2);
    EXPECT_EQ(line1, "/W");
    EXPECT_EQ(line2, h.finished[0]);
    EXPECT_FALSE(h.exists("pwned"));
    EXPECT_FALSE(h.exists("pwned2"));
}

TEST(Controller, MissingTaggerStartsNothing) {
    Harness h;
    h.cfg.runtagger.enabled = true;
    h.cfg.taggerpath = h.file("no-such-tagger");
    h.rec->StartClick();
    h.rec->StopClick();
    h.block(kSound);
    EXPECT_EQ(h.rec->runningPrograms(), 0u);
    EXPECT_EQ(h.messages.count(), 0u);
}

// Numbering restarts with every program start and an event's name comes back every day: an automatic name
// moves past files already on disk instead of replacing them.
TEST(Controller, AutomaticNamesNeverReplaceARecording) {
    {
        Harness h;
        std::ofstream(h.file("take100.mp3")) << "yesterday";
        h.rec->StartClick();
        EXPECT_EQ(h.log.created.at(0), h.file("take101.mp3"));
        EXPECT_EQ(std::filesystem::file_size(h.file("take100.mp3")), 9u);
    }
    {
        Harness h;
        h.cfg.autoname.expression = "fixed";
        std::ofstream(h.file("fixed.mp3")) << "x";
        std::ofstream(h.file("fixed-2.mp3")) << "x";
        h.rec->StartClick();
        EXPECT_EQ(h.log.created.at(0), h.file("fixed-3.mp3"));
    }
}

TEST(Controller, ElapsedTextFormats) {
    EXPECT_EQ(formatelapsed(0.0), "00:00:00");
    EXPECT_EQ(formatelapsed(3725.0 / 86400), "01:02:05");
    EXPECT_EQ(formatelapsed(1.9999999 / 86400), "00:00:02") << "rounded to the millisecond first";
}

} // namespace
} // namespace quimbrel::testing
