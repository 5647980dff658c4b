// The service addresses and keys.
#include "ServiceConfig.h"

#include "MusicBrainzPace.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

#ifndef OMBRIKW_VERSION
#define OMBRIKW_VERSION "0"
#endif
#ifndef OMBRIKW_PROJECT_URL
#define OMBRIKW_PROJECT_URL ""
#endif

namespace quimbrel::tagger {

namespace {

const char* env(const char* name) {
    const char* v = std::getenv(name);
    return (v != nullptr && *v != '\0') ? v : nullptr;
}

bool isHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

} // namespace

std::string normalizeBaseUrl(const std::string& url) {
    std::string rest;
    if (url.rfind("http://", 0) == 0)
        rest = url.substr(7);
    else if (url.rfind("https://", 0) == 0)
        rest = url.substr(8);
    else
        return {};
    std::string base = url.substr(0, url.size() - rest.size());
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    std::string host = rest;
    std::string port;
    if (!rest.empty() && rest.front() == '[') {
        // An IPv6 literal.
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close < 2)
            return {};
        for (std::size_t i = 1; i < close; ++i) {
            const char c = rest[i];
            if (!(std::strchr("0123456789abcdefABCDEF:.", c) != nullptr))
                return {};
        }
        host = rest.substr(0, close + 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':')
                return {};
            port = rest.substr(close + 2);
            if (port.empty())
                return {};
        }
    } else {
        const std::size_t colon = rest.find(':');
        if (colon != std::string::npos) {
            host = rest.substr(0, colon);
            port = rest.substr(colon + 1);
            if (port.empty())
                return {};
        }
        if (host.empty())
            return {};
        for (char c : host) {
            if (!isHostChar(c))
                return {};
        }
    }
    if (!port.empty()) {
        unsigned value = 0;
        auto [ptr, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc() || ptr != port.data() + port.size() || value == 0 || value > 65535)
            return {};
    }
    return base + rest;
}

ServiceConfig ServiceConfig::defaults() {
    ServiceConfig c;
    c.acoustidUrl = "https://api.acoustid.org";
    c.musicbrainzUrl = "https://musicbrainz.org";
    c.lastfmUrl = "https://ws.audioscrobbler.com";
    c.acoustidKey = "Qx7pLm2RtV";
    c.lastfmKey = "5c0e9a7d3b1f48e2a6d0c4b8f2e17a93";
    c.userAgent = std::string("ombrikw/") + OMBRIKW_VERSION + " (" + OMBRIKW_PROJECT_URL + ")";
    return c;
}

ServiceConfig ServiceConfig::fromEnvironment() {
    ServiceConfig c = defaults();
    auto base = [](const char* name, std::string& field) {
        if (const char* v = env(name)) {
            std::string n = normalizeBaseUrl(v);
            if (!n.empty())
                field = n;
        }
    };
    base("OMBRIKW_ACOUSTID_URL", c.acoustidUrl);
    base("OMBRIKW_MUSICBRAINZ_URL", c.musicbrainzUrl);
    base("OMBRIKW_LASTFM_URL", c.lastfmUrl);
    if (const char* v = env("OMBRIKW_ACOUSTID_KEY"))
        c.acoustidKey = v;
    if (const char* v = env("OMBRIKW_LASTFM_KEY"))
        c.lastfmKey = v;
    if (const char* v = env("OMBRIKW_CA_FILE"))
        c.caFile = v;
    c.musicbrainzLockFile = MusicBrainzPace::defaultLockFile();
    // Test plumbing only: lets the end-to-end tests run without the real services' rate limit.
    if (const char* v = env("OMBRIKW_TEST_MB_PAUSE_MS")) {
        int ms = 0;
        auto [ptr, ec] = std::from_chars(v, v + std::strlen(v), ms);
        if (ec == std::errc() && *ptr == '\0' && ms >= 0 && ms <= 60000)
            c.musicbrainzPause = std::chrono::milliseconds(ms);
    }
    return c;
}

} // namespace quimbrel::tagger
