// The Last.fm requests and the cover download.
#include "LastfmQuery.h"

#include "CoverPicture.h"
#include "HttpClient.h"
#include "LastfmReader.h"
#include "UrlEncode.h"

namespace quimbrel::tagger {

std::string lastfmRequestUrl(const ServiceConfig& config, LastfmMode mode, const std::string& artist,
                             const std::string& title, const std::string& album) {
    std::string url = config.lastfmUrl;
    url += mode == LastfmMode::Track ? "/2.0/?method=track.getinfo&api_key="
                                     : "/2.0/?method=album.getinfo&api_key=";
    url += urlencode(config.lastfmKey);
    url += "&artist=" + urlencode(lowercase(artist));
    if (mode == LastfmMode::Track)
        url += "&track=" + urlencode(lowercase(title));
    else
        url += "&album=" + urlencode(lowercase(album));
    return url;
}

bool lastfmQuery(const ServiceConfig& config, const std::string& artist, const std::string& title,
                 std::string& album, LastfmMode mode, CoverPicture& picture) {
    HttpClient http({config.userAgent, config.caFile});
    if (http.get(lastfmRequestUrl(config, mode, artist, title, album)) != HttpOutcome::Done)
        return false;
    LastfmAnswer answer = readLastfmLines(http.body());
    if (answer.album)
        album = *answer.album;
    http.reset();
    if (answer.pictureUrl.size() < 2)
        return false;
    if (http.get(answer.pictureUrl, CoverPicture::kMaxBytes) != HttpOutcome::Done)
        return false;
    return picture.decode(http.body());
}

} // namespace quimbrel::tagger
