// Reads an AcoustID lookup answer (XML) into the list of results and their recording identifiers.
#pragma once

#include "CPDefines.h"

#include <string_view>

namespace quimbrel::tagger {

// Replaces response with what the answer holds. The answer's status is not examined; a document that
// cannot be loaded gives no results, and one that breaks off while being walked keeps what was read.
void parseAcoustIDResponse(std::string_view body, TAcoustIDResponse& response);

} // namespace quimbrel::tagger
