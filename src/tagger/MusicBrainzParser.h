// Reads a MusicBrainz recording answer (XML): title, first credited artist and the first release's title.
#pragma once

#include "CPDefines.h"

#include <string_view>

namespace quimbrel::tagger {

// Fills recording (emptied first) from the answer; false when the document cannot be loaded or lacks a
// part the walk needs (recording without children, artist credit without name, counted release list
// without a release).
bool parseMusicBrainzRecording(std::string_view body, TQueryResults& recording);

} // namespace quimbrel::tagger
