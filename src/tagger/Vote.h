// The vote among identification candidates: the most frequent title, the most frequent artist, and the
// most frequent album among the candidates that carry both.
#pragma once

#include "CPDefines.h"

#include <optional>
#include <vector>

namespace quimbrel::tagger {

// Nothing without candidates. Ties go to the earliest candidate; comparisons are exact.
std::optional<TQueryResults> vote(const std::vector<TQueryResults>& candidates);

} // namespace quimbrel::tagger
