// The tagger's plain records: the decode buffer, the AcoustID answer reduced to recording identifiers,
// and one identification candidate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quimbrel::tagger {

// One second of decoded sound: 16-bit signed samples, interleaved by channel.
using TSmallintArray = std::vector<std::int16_t>;

// One result of an AcoustID answer: its recording identifiers in the order of the answer. A slot whose
// child was not a "recording" stays empty.
struct TAcoustIDResult {
    std::vector<std::string> recordings;
};

// Every result of an AcoustID answer, in the order of the answer.
struct TAcoustIDResponse {
    std::vector<TAcoustIDResult> results;
};

// One candidate of the vote: what MusicBrainz says about one recording (UTF-8 texts).
struct TQueryResults {
    std::string title;
    std::string artist;
    std::string album;

    bool operator==(const TQueryResults&) const = default;
};

} // namespace quimbrel::tagger
