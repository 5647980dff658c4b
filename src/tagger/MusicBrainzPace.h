// MusicBrainz allows one request a second from each client, and the recorder may run several taggers at
// once. Every tagger of the user waits its turn on one lock file under $XDG_RUNTIME_DIR that holds the time
// of the last request, so that together they keep the pace.
#pragma once

#include <chrono>
#include <filesystem>

namespace quimbrel::tagger {

class MusicBrainzPace {
public:
    // lockFile empty: no shared file (no runtime folder), so only this process's own requests are paced.
    MusicBrainzPace(std::filesystem::path lockFile, std::chrono::milliseconds interval);

    // The lock file of the user's taggers: $XDG_RUNTIME_DIR/ombrikw-musicbrainz.lock, or empty when the
    // variable is not set to an absolute path.
    static std::filesystem::path defaultLockFile();

    // Returns once `interval` has passed since the last request of any tagger sharing the lock file, and
    // records now as the time of the next one. When the file cannot be opened or locked, falls back to
    // this process's own last request.
    void wait();

private:
    bool waitShared();
    void waitLocal();

    std::filesystem::path m_lockFile;
    std::chrono::milliseconds m_interval;
    std::chrono::steady_clock::time_point m_last{};
    bool m_hasLast = false;
};

} // namespace quimbrel::tagger
