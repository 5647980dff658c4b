// Replacing a file so that a crash or a full disk never leaves it truncated: write beside it, sync, rename.
#pragma once

#include <string>
#include <string_view>

namespace quimbrel {

// Writes content to a temporary file in the folder of path, flushes it to the disk and renames it over path.
// On failure path is left as it was, the temporary file is removed and *error (when given) says why.
bool replaceFileAtomically(const std::string& path, std::string_view content, std::string* error = nullptr);

// Creates the folder and its missing parents. True when it exists afterwards.
bool makeFolders(const std::string& folder);

bool fileExists(const std::string& path);

} // namespace quimbrel
