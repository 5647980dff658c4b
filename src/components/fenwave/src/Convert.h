// Conversion of float samples to the writers' sample codes.
#pragma once

#include <cstddef>

namespace quimbrel::fenwave {

// Writes count samples in the code's format: clipped to +-1.0, rounded to nearest, NaN as silence. Integer
// codes scale by 2^(bits-1), so -1.0 reaches the lowest code and +1.0 is held at the highest. Does nothing
// for an unknown code.
void convertSamples(const float* source, void* destination, int code, std::size_t count) noexcept;

} // namespace quimbrel::fenwave
