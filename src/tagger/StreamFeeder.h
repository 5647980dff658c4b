// Reads the first two minutes of a decoding stream one second at a time and hands each block on: the
// sound a fingerprint is computed from.
#pragma once

#include <cstdint>
#include <functional>

namespace quimbrel::tagger {

class AudioDecoder;

// Seconds of sound fingerprinted; files of this length or shorter are not fingerprinted at all.
inline constexpr int kFingerprintSeconds = 120;

// Feeds at most `seconds` seconds (plus at most one more when a read comes back short) to `feed`, whose
// count is the number of 16-bit values in the block. Gives the number of values fed.
long long feedFirstSeconds(AudioDecoder& stream, int seconds,
                           const std::function<void(const std::int16_t*, int)>& feed);

// The duration sent to AcoustID: the stream's decoded length truncated to whole seconds.
int wholeSeconds(double seconds);

} // namespace quimbrel::tagger
