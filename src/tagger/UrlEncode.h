// Query values for the web services: full Unicode lower case and percent encoding of UTF-8 texts.
#pragma once

#include <string>
#include <string_view>

namespace quimbrel::tagger {

// Letters and digits of ASCII stay; every other byte becomes "%" and two upper-case hexadecimal digits.
std::string urlencode(std::string_view text);

// Every character in its Unicode lower case; bytes that are not valid UTF-8 stay as they are.
std::string lowercase(std::string_view text);

} // namespace quimbrel::tagger
