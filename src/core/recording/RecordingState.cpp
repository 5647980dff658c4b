// Time arithmetic shared by the parts of the recorder.
#include "recording/RecordingState.h"

#include <cmath>

namespace quimbrel {

int elapsedseconds(double from, double to) {
    // Day numbers carry rounding error; rounding to the millisecond first keeps 2.000 s from reading
    // as 1.999.
    const long long ms = std::llround(std::fabs(to - from) * 86400000.0);
    return static_cast<int>(ms / 1000);
}

} // namespace quimbrel
