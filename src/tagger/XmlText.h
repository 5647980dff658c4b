// The text of an XML node as a DOM gives it (every piece of character data below it, in document order),
// and the nesting limit every service answer is held to.
#pragma once

#include <pugixml.hpp>

#include <string>

namespace quimbrel::tagger {

std::string domText(const pugi::xml_node& node);

// Parse options of every service answer: no whitespace-only text nodes, entities decoded.
inline constexpr unsigned kAnswerParseOptions = pugi::parse_default;

// No real answer nests more than a dozen levels; a deeper one is refused as a whole.
inline constexpr int kMaxAnswerDepth = 256;

// False when some node lies more than maxDepth levels below root.
bool nestingWithin(const pugi::xml_node& root, int maxDepth = kMaxAnswerDepth);

} // namespace quimbrel::tagger
