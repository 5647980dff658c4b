// Where the tagger's web services are and which keys it uses: public defaults, overridden from the
// environment (OMBRIKW_ACOUSTID_URL, OMBRIKW_MUSICBRAINZ_URL, OMBRIKW_LASTFM_URL, OMBRIKW_ACOUSTID_KEY,
// OMBRIKW_LASTFM_KEY, OMBRIKW_CA_FILE), and the MusicBrainz pace shared through $XDG_RUNTIME_DIR.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace quimbrel::tagger {

struct ServiceConfig {
    // Base addresses: scheme, host and optional port, without a trailing "/".
    std::string acoustidUrl;
    std::string musicbrainzUrl;
    std::string lastfmUrl;
    std::string acoustidKey;
    std::string lastfmKey;
    // An extra CA file trusted besides the system's store; empty for none.
    std::string caFile;
    std::string userAgent;
    // MusicBrainz allows about one request a second, kept by all taggers sharing the lock file together.
    std::chrono::milliseconds musicbrainzPause{1000};
    // Empty: no shared pace (see MusicBrainzPace).
    std::filesystem::path musicbrainzLockFile;

    // The defaults with the environment applied; a base address that is not scheme://host[:port] is
    // ignored.
    static ServiceConfig fromEnvironment();
    static ServiceConfig defaults();
};

// "http://host[:port]" or "https://host[:port]", optionally with one trailing "/": the same without it;
// anything else: empty.
std::string normalizeBaseUrl(const std::string& url);

} // namespace quimbrel::tagger
