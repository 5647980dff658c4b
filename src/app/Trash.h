// The freedesktop trash, through GIO: a deleted recording can be restored from the desktop's trash. Any
// thread.
#pragma once

#include <string>

namespace quimbrel {

// Moves the file at path (in the file system's encoding) into the trash of its volume. False, with GIO's
// reason in error, when there is no trash for it (a file system without one, a trash folder that cannot be
// made) or the move failed; the file is then where it was.
bool moveToTrash(const std::string& path, std::string& error);

} // namespace quimbrel
