// The shared pace over flock(2). The file holds the steady clock's reading of the last request in
// nanoseconds, as text; the steady clock is the system's monotonic clock, the same in every process, and the
// runtime folder does not outlive the boot it counts from.
#include "MusicBrainzPace.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string>
#include <thread>

namespace quimbrel::tagger {

namespace {

using Clock = std::chrono::steady_clock;

class LockedFile {
public:
    explicit LockedFile(const std::filesystem::path& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
        if (m_fd < 0)
            return;
        int rc = 0;
        do {
            rc = ::flock(m_fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~LockedFile() {
        // Closing releases the lock.
        if (m_fd >= 0)
            ::close(m_fd);
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    bool locked() const { return m_fd >= 0; }

    // The recorded time; nothing when the file is empty or holds something else.
    bool read(long long& nanoseconds) const {
        char text[32] = {};
        const ssize_t n = ::pread(m_fd, text, sizeof text - 1, 0);
        if (n <= 0)
            return false;
        const char* end = text + n;
        auto [ptr, ec] = std::from_chars(text, end, nanoseconds);
        return ec == std::errc() && (ptr == end || *ptr == '\n');
    }

    bool write(long long nanoseconds) const {
        const std::string text = std::to_string(nanoseconds) + "\n";
        return ::ftruncate(m_fd, 0) == 0 &&
               ::pwrite(m_fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
    }

private:
    int m_fd = -1;
};

long long nanosecondsOf(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

} // namespace

MusicBrainzPace::MusicBrainzPace(std::filesystem::path lockFile, std::chrono::milliseconds interval)
    : m_lockFile(std::move(lockFile)), m_interval(interval) {}

std::filesystem::path MusicBrainzPace::defaultLockFile() {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    if (dir == nullptr || dir[0] != '/')
        return {};
    return std::filesystem::path(dir) / "ombrikw-musicbrainz.lock";
}

void MusicBrainzPace::wait() {
    if (m_lockFile.empty() || !waitShared())
        waitLocal();
    m_last = Clock::now();
    m_hasLast = true;
}

bool MusicBrainzPace::waitShared() {
    LockedFile file(m_lockFile);
    if (!file.locked())
        return false;
    // The lock is held through the wait: the next tagger's turn begins where this one's ends.
    long long last = 0;
    if (file.read(last)) {
        const auto due = Clock::time_point(std::chrono::nanoseconds(last)) + m_interval;
        const auto now = Clock::now();
        // A time further ahead than one interval was not written by this boot's taggers.
        if (due > now && due - now <= m_interval)
            std::this_thread::sleep_until(due);
    }
    // Our own last request counts too, should the file have been removed meanwhile.
    waitLocal();
    return file.write(nanosecondsOf(Clock::now()));
}

void MusicBrainzPace::waitLocal() {
    if (m_hasLast)
        std::this_thread::sleep_until(m_last + m_interval);
}

} // namespace quimbrel::tagger
