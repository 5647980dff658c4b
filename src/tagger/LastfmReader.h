// Reads a Last.fm answer line by line for the album title and the address of the extra-large image.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quimbrel::tagger {

struct LastfmAnswer {
    // Set when a "<title>" line came before the image line; the last such line wins.
    std::optional<std::string> album;
    // The first extra-large image line with its tags removed, trimmed; empty when there is none.
    std::string pictureUrl;
};

// Markup other than the title and image tags stays in the texts; character entities in both are decoded.
LastfmAnswer readLastfmLines(std::string_view body);

} // namespace quimbrel::tagger
