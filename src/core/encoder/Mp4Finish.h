// The last step of an M4A recording. While recording, the file is a fragmented MP4, so that a crash loses at
// most the last second; at a clean finish it is rewritten as a regular MP4, which every player and tag editor
// reads with its length.
#pragma once

#include <string>

namespace quimbrel {

enum class Mp4FinishOutcome {
    None,
    // The file at the path is now a regular MP4 with the same audio.
    Remuxed,
    // The file at the path is left as it was (still fragmented); nothing else is left behind.
    Kept,
};

// Copies the audio packets of the MP4 at path, unchanged, into a regular MP4 beside it (same folder, so the
// rename cannot cross file systems), and renames that over the original once it is complete and on disk.
Mp4FinishOutcome remuxToRegularMp4(const std::string& path);

} // namespace quimbrel
