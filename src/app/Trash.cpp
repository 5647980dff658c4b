// Trashing through GIO, which implements the freedesktop trash (home trash, per-volume trash folders, the
// info files that let a file manager restore the file). Kept apart from Qt's headers, whose keywords clash
// with GIO's.
#include "Trash.h"

#include <gio/gio.h>

namespace quimbrel {

bool moveToTrash(const std::string& path, std::string& error) {
    GFile* file = g_file_new_for_path(path.c_str());
    GError* failure = nullptr;
    const bool moved = g_file_trash(file, nullptr, &failure) != FALSE;
    if (!moved)
        error = failure ? failure->message : "unknown error";
    if (failure)
        g_error_free(failure);
    g_object_unref(file);
    return moved;
}

} // namespace quimbrel
