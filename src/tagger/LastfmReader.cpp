// The line reader over Last.fm answers.
#include "LastfmReader.h"

namespace quimbrel::tagger {

namespace {

constexpr std::string_view kTitleOpen = "<title>";
constexpr std::string_view kTitleClose = "</title>";
constexpr std::string_view kImageOpen = "<image size=\"extralarge\">";
constexpr std::string_view kImageClose = "</image>";

bool isBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlankOrControl(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlankOrControl(s.back()))
        s.remove_suffix(1);
    return s;
}

void removeAll(std::string& s, std::string_view what) {
    for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at))
        s.erase(at, what.size());
}

} // namespace

LastfmAnswer readLastfmLines(std::string_view body) {
    LastfmAnswer answer;
    std::size_t pos = 0;
    while (pos < body.size()) {
        std::size_t end = body.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = body.size();
        std::string_view line = trim(body.substr(pos, end - pos));
        // CR LF ends one line, not two.
        pos = end + 1;
        if (end < body.size() && body[end] == '\r' && pos < body.size() && body[pos] == '\n')
            ++pos;
        if (line.substr(0, kTitleOpen.size()) == kTitleOpen) {
            std::string album(line);
            removeAll(album, kTitleOpen);
            removeAll(album, kTitleClose);
            answer.album = std::move(album);
        } else if (line.substr(0, kImageOpen.size()) == kImageOpen) {
            std::string url(line);
            removeAll(url, kImageOpen);
            removeAll(url, kImageClose);
            answer.pictureUrl = trim(url);
            break;
        }
    }
    return answer;
}

} // namespace quimbrel::tagger
