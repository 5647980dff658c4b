// A recording cut off by SIGKILL: a child process records a sine in real time through each writer and is
// killed after about three seconds; what it had written 1.5 s before the kill must decode from the file.
#include "AvDecode.h"
#include "encoder/createwriter.h"
#include "encoder/libVorbis.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quimbrel {
namespace {

using namespace std::chrono_literals;

[[noreturn]] void recordforever(int index, const std::string& path,
                                std::atomic<std::int64_t>* frameswritten) {
    WriterSettings s;
    s.index = index;
    s.bps = 1;
    const int rate = 44100;
    auto writer = createwriter(s, path, floatformat(rate, 2));
    const std::size_t block = rate / 40; // 25 ms, as the capture hands them over
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t n = 0;; ++n) {
        const auto bytes =
            test::convert(test::sine(1000, rate, 2, block, 0.5, n * block), writer->SampleFormat());
        writer->WriteBlock(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        frameswritten->store(static_cast<std::int64_t>((n + 1) * block));
        std::this_thread::sleep_until(start + (n + 1) * 25ms);
    }
}

TEST(CrashSafety, KilledRecordingKeepsItsAudio) {
    ASSERT_TRUE(loadvorbislib(kOggLibrary));
    ASSERT_TRUE(loadvorbislib(kVorbisLibrary));
    const std::string dir = test::tempdir();
    struct Case {
        int index;
        const char* name;
    };
    const Case cases[] = {{0, "mp3"}, {1, "ogg"}, {2, "wma"}, {3, "wav"}, {4, "flac"}, {5, "m4a"}};
    auto* shared = static_cast<std::atomic<std::int64_t>*>(mmap(nullptr, sizeof(std::atomic<std::int64_t>),
                                                                PROT_READ | PROT_WRITE,
                                                                MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(shared, MAP_FAILED);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir + "/crash." + c.name;
        new (shared) std::atomic<std::int64_t>(0);
        std::fflush(nullptr);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                recordforever(c.index, path, shared);
            } catch (...) {
                _exit(2);
            }
        }
        std::this_thread::sleep_for(1500ms);
        const std::int64_t early = shared->load();
        std::this_thread::sleep_for(1500ms);
        const std::int64_t atkill = shared->load();
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the recording child ended by itself";

        const auto d = test::decodefile(path);
        ASSERT_TRUE(d.ok) << d.error;
        std::printf("[ crash    ] %-4s written %.2f s at the kill, %.2f s 1.5 s before it; decoded %.2f s\n",
                    c.name, static_cast<double>(atkill) / 44100, static_cast<double>(early) / 44100,
                    d.seconds());
        EXPECT_GE(static_cast<std::int64_t>(d.frames()), early);
        if (d.frames() > 44100) {
            EXPECT_EQ(test::peakfrequency(d, d.frames() - 44100), 1000.0);
        }
    }
    munmap(shared, sizeof(std::atomic<std::int64_t>));
    std::filesystem::remove_all(dir);
    unloadvorbislib(kVorbisLibrary);
    unloadvorbislib(kOggLibrary);
}

} // namespace
} // namespace quimbrel
