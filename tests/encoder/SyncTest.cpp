// The file syncer: every writer's file is synced while it is open and once more after it is closed; the
// owner may close its descriptor whenever it likes; descriptors that cannot be synced are left alone.
#include "AvDecode.h"
#include "encoder/FileSyncer.h"
#include "encoder/createwriter.h"
#include "encoder/libVorbis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace quimbrel {
namespace {

using namespace std::chrono_literals;

// Collects a syncer's events; waits for one without a time limit.
class SyncLog {
public:
    void attach(FileSyncer& syncer) {
        syncer.setObserver([this](const FileSyncer::SyncEvent& e) {
            std::lock_guard lock(m_mutex);
            m_events.push_back(e);
            m_changed.notify_all();
        });
    }
    // Until `times` syncs of the path (after its release when `last`) ending in `error` have been seen.
    void waitFor(const std::string& path, bool last, std::size_t times = 1, int error = 0) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return count(path, last, error) >= times; });
    }
    std::vector<FileSyncer::SyncEvent> events() {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

private:
    std::size_t count(const std::string& path, bool last, int error) const {
        return static_cast<std::size_t>(std::count_if(m_events.begin(), m_events.end(), [&](const auto& e) {
            return e.path == path && e.last == last && e.error == error;
        }));
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<FileSyncer::SyncEvent> m_events;
};

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "sync-XXXXXX").string();
        path = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

// The writers' syncer, quick for a test and back to its own pace and to fdatasync after it.
class QuickSyncer {
public:
    explicit QuickSyncer(SyncLog& log) {
        log.attach(FileSyncer::shared());
        FileSyncer::shared().setInterval(20ms);
    }
    ~QuickSyncer() {
        FileSyncer::shared().setInterval(FileSyncer::kDefaultInterval);
        FileSyncer::shared().setSyncFunction({});
        FileSyncer::shared().setObserver({});
    }
    QuickSyncer(const QuickSyncer&) = delete;
    QuickSyncer& operator=(const QuickSyncer&) = delete;
};

const char* const kExtensions[] = {"mp3", "ogg", "wma", "wav", "flac", "m4a"};

TEST(FileSync, EveryWriterIsSyncedWhileOpenAndOnceMoreAfterClosing) {
    ASSERT_TRUE(loadvorbislib(kOggLibrary));
    ASSERT_TRUE(loadvorbislib(kVorbisLibrary));
    SyncLog log;
    QuickSyncer quick(log);
    TempDir dir;
    std::vector<std::unique_ptr<TAudioWriter>> writers;
    for (int index = 0; index < 6; ++index) {
        WriterSettings s;
        s.index = index;
        s.bps = 1;
        writers.push_back(createwriter(s, dir.path + "/take." + kExtensions[index], floatformat(44100, 2)));
        const auto bytes =
            test::convert(test::sine(440, 44100, 2, 4410, 0.5, 0), writers.back()->SampleFormat());
        ASSERT_GE(writers.back()->WriteBlock(bytes.data(), static_cast<std::int32_t>(bytes.size())), 0);
    }
    for (const auto& w : writers) {
        SCOPED_TRACE(w->FileName);
        log.waitFor(w->FileName, false);
        EXPECT_TRUE(w->finish().ok());
        log.waitFor(w->FileName, true);
    }
    unloadvorbislib(kVorbisLibrary);
    unloadvorbislib(kOggLibrary);
}

// Written data that a sync could not bring to the disk fails the writer at its next write to the file, with
// the system's reason, whichever way the writer reaches its file.
TEST(FileSync, ALostSyncFailsTheWriter) {
    ASSERT_TRUE(loadvorbislib(kOggLibrary));
    ASSERT_TRUE(loadvorbislib(kVorbisLibrary));
    SyncLog log;
    QuickSyncer quick(log);
    FileSyncer::shared().setSyncFunction([](int) { return EIO; });
    TempDir dir;
    for (int index = 0; index < 6; ++index) {
        SCOPED_TRACE(kExtensions[index]);
        WriterSettings s;
        s.index = index;
        s.bps = 1;
        auto writer = createwriter(s, dir.path + "/lost." + kExtensions[index], floatformat(44100, 2));
        auto block = [&](int n) {
            const auto bytes =
                test::convert(test::sine(440, 44100, 2, 1102, 0.5, n * 1102), writer->SampleFormat());
            return writer->WriteBlock(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        };
        ASSERT_GE(block(0), 0);
        log.waitFor(writer->FileName, false, 1, EIO);
        // Encoders that hold frames back write again within a second or two of sound.
        std::int32_t r = 0;
        for (int n = 1; n < 200 && r >= 0; ++n)
            r = block(n);
        EXPECT_EQ(r, -1);
        const WriterOutcome outcome = writer->finish();
        EXPECT_EQ(outcome.error, EIO);
        EXPECT_EQ(outcome.reason, "Input/output error");
    }
    unloadvorbislib(kVorbisLibrary);
    unloadvorbislib(kOggLibrary);
}

TEST(FileSync, TheOwnersDescriptorMayCloseAndBeReusedAtAnyTime) {
    TempDir dir;
    SyncLog log; // outlives the syncer's thread
    FileSyncer syncer(10ms);
    log.attach(syncer);
    const std::string first = dir.path + "/first";
    int fd = ::open(first.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "abc", 3), 3);
    FileSyncer::Watch watch = syncer.watch(fd, first);
    ASSERT_TRUE(watch.active());
    // The number goes to another file at once; the syncer goes on syncing the file it was given.
    ::close(fd);
    const std::string second = dir.path + "/second";
    const int reused = ::open(second.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_EQ(reused, fd);
    log.waitFor(first, false);
    watch.release();
    EXPECT_FALSE(watch.active());
    log.waitFor(first, true);
    ::close(reused);
    for (const auto& e : log.events()) {
        EXPECT_EQ(e.path, first);
        EXPECT_EQ(e.error, 0) << std::strerror(e.error);
    }
    EXPECT_EQ(syncer.counts().failures, 0u);
}

TEST(FileSync, ADescriptorThatCannotBeSyncedIsTriedOnce) {
    SyncLog log;
    FileSyncer syncer(10ms);
    log.attach(syncer);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    FileSyncer::Watch pipe = syncer.watch(ends[1], "pipe");
    // A second, real file keeps the thread making rounds past the pipe.
    TempDir dir;
    const std::string file = dir.path + "/file";
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    FileSyncer::Watch real = syncer.watch(fd, file);
    log.waitFor(file, false, 3);
    std::size_t pipeSyncs = 0;
    for (const auto& e : log.events())
        if (e.path == "pipe") {
            ++pipeSyncs;
            EXPECT_EQ(e.error, EINVAL);
        }
    EXPECT_EQ(pipeSyncs, 1u);
    EXPECT_EQ(pipe.error(), 0) << "not a loss of data";
    ::close(fd);
    ::close(ends[0]);
    ::close(ends[1]);
}

} // namespace
} // namespace quimbrel
