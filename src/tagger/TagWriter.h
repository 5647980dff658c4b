// Writes title, artist, album and the cover picture into an audio file through the tag component.
#pragma once

#include <ostream>
#include <string>

namespace quimbrel {
class MorvelLibrary;
}

namespace quimbrel::tagger {

class CoverPicture;

class TagWriter {
public:
    explicit TagWriter(const MorvelLibrary& library);

    // A file the component cannot open, or one without a tag, is left alone silently. A failed save
    // (or no tag component at all) is reported on warnings with the path. Any trouble with the picture
    // is passed over; the texts are still saved.
    void write(const std::string& path, const std::string& artist, const std::string& title,
               const std::string& album, const CoverPicture& picture, std::ostream& warnings) const;

private:
    const MorvelLibrary& m_library;
};

// The warning shown when the tags could not be saved.
std::string saveFailureText(const std::string& path);

} // namespace quimbrel::tagger
