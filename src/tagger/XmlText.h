// The text of an XML node as a DOM gives it: every piece of character data below it, in document order.
#pragma once

#include <pugixml.hpp>

#include <string>

namespace quimbrel::tagger {

std::string domText(const pugi::xml_node& node);

// Parse options of every service answer: no whitespace-only text nodes, entities decoded.
inline constexpr unsigned kAnswerParseOptions = pugi::parse_default;

} // namespace quimbrel::tagger
