// The one-second read loop shared by the tagger and the fingerprint benchmark.
#include "StreamFeeder.h"

#include "AudioDecoder.h"
#include "CPDefines.h"

#include <cmath>
#include <limits>

namespace quimbrel::tagger {

long long feedFirstSeconds(AudioDecoder& stream, int seconds,
                           const std::function<void(const std::int16_t*, int)>& feed) {
    const long second = static_cast<long>(stream.sampleRate()) * stream.channels();
    if (second <= 0)
        return 0;
    TSmallintArray buffer(static_cast<std::size_t>(second));
    long long remaining = static_cast<long long>(second) * seconds;
    long long fed = 0;
    while (remaining > 0) {
        // Always a full second, even when less remains.
        const long bytes = stream.read(buffer.data(), second * 2);
        if (bytes <= 0)
            break;
        const int count = static_cast<int>(bytes / 2);
        feed(buffer.data(), count);
        remaining -= count;
        fed += count;
    }
    return fed;
}

int wholeSeconds(double seconds) {
    if (!(seconds > 0.0))
        return 0;
    if (seconds >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return static_cast<int>(std::trunc(seconds));
}

} // namespace quimbrel::tagger
