// Making a base name from an event name or an expanded template safe to put into the output folder.
#pragma once

#include <string>
#include <string_view>

namespace quimbrel {

// The longest base name kept, in bytes: room is left for a "-N" number, a "_partN" suffix and the extension
// within the 255 bytes a file name may have.
inline constexpr std::size_t kMaxBaseName = 200;

// A base name that names a file inside the output folder: every "/" (and NUL) becomes "_", a name of dots
// only has them replaced too, and an overlong name is cut at a character boundary. Everything else, the
// characters other systems refuse included, stays as it is.
std::string safefilename(std::string_view name);

} // namespace quimbrel
