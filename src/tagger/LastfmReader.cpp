// The line reader over Last.fm answers.
#include "LastfmReader.h"

#include <charconv>
#include <utility>

namespace quimbrel::tagger {

namespace {

constexpr std::string_view kTitleOpen = "<title>";
constexpr std::string_view kTitleClose = "</title>";
constexpr std::string_view kImageOpen = "<image size=\"extralarge\">";
constexpr std::string_view kImageClose = "</image>";

bool isBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlankOrControl(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlankOrControl(s.back()))
        s.remove_suffix(1);
    return s;
}

// The five named entities and numeric references become their characters; anything else that starts with
// "&" (an unknown name, a reference to no character) stays as it stands.
std::string decodeEntities(std::string_view s) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t semicolon = s[i] == '&' ? s.find(';', i + 1) : std::string_view::npos;
        if (semicolon == std::string_view::npos || semicolon - i > 12) {
            out += s[i++];
            continue;
        }
        const std::string_view name = s.substr(i + 1, semicolon - i - 1);
        bool done = false;
        for (const auto& [entity, c] : kNamed) {
            if (name == entity) {
                out += c;
                done = true;
            }
        }
        if (!done && name.size() >= 2 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string_view digits = name.substr(hex ? 2 : 1);
            unsigned long code = 0;
            const auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            if (!digits.empty() && ec == std::errc() && end == digits.data() + digits.size() && code != 0 &&
                code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
                appendUtf8(out, static_cast<char32_t>(code));
                done = true;
            }
        }
        if (done)
            i = semicolon + 1;
        else
            out += s[i++];
    }
    return out;
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
            answer.album = decodeEntities(album);
        } else if (line.substr(0, kImageOpen.size()) == kImageOpen) {
            std::string url(line);
            removeAll(url, kImageOpen);
            removeAll(url, kImageClose);
            answer.pictureUrl = decodeEntities(trim(url));
            break;
        }
    }
    return answer;
}

} // namespace quimbrel::tagger
