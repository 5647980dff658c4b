// How the state documents encode integers and flags, shared by the three document readers and writers.
#pragma once

#include <string>
#include <string_view>

namespace pugi {
class xml_document;
}

namespace quimbrel {

// A decimal 32-bit integer with an optional sign; nothing else, no blanks.
bool parseInt32(std::string_view text, int& value);
// "0"/"1", any other integer (non-zero is on), or true/false in any letter case.
bool parseFlag(std::string_view text, bool& value);
inline const char* flagText(bool on) {
    return on ? "1" : "0";
}

// The serialised document with indentation, UTF-8, as all three documents are written.
std::string documentText(const pugi::xml_document& doc);

} // namespace quimbrel
