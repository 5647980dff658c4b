// The Last.fm query: album or track information, which may bring a better album title and the address of
// the cover picture, which is then downloaded.
#pragma once

#include "ServiceConfig.h"

#include <string>

namespace quimbrel::tagger {

class CoverPicture;

enum class LastfmMode {
    None,
    Album,
    Track,
};

// The request address for the mode: artist, album and title lower-cased and URL-encoded.
std::string lastfmRequestUrl(const ServiceConfig& config, LastfmMode mode, const std::string& artist,
                             const std::string& title, const std::string& album);

// True when a picture was obtained into picture. album may be replaced even when no picture follows.
bool lastfmQuery(const ServiceConfig& config, const std::string& artist, const std::string& title,
                 std::string& album, LastfmMode mode, CoverPicture& picture);

} // namespace quimbrel::tagger
