// Tag writing over the loaded tag component.
#include "TagWriter.h"

#include "CoverPicture.h"

#include "morvel_loader.h"

#include <limits>

namespace quimbrel::tagger {

std::string saveFailureText(const std::string& path) {
    return "Can not save tag to the file: " + path;
}

TagWriter::TagWriter(const MorvelLibrary& library) : m_library(library) {}

void TagWriter::write(const std::string& path, const std::string& artist, const std::string& title,
                      const std::string& album, const CoverPicture& picture, std::ostream& warnings) const {
    if (!m_library.isLoaded()) {
        warnings << saveFailureText(path) << '\n';
        return;
    }
    morvel_file* file = m_library.taglib_file_newu(path.c_str());
    if (file == nullptr)
        return;
    if (!m_library.taglib_file_is_valid(file)) {
        m_library.taglib_file_free(file);
        return;
    }
    morvel_tag* tag = m_library.taglib_file_tag(file);
    if (tag == nullptr) {
        m_library.taglib_file_free(file);
        return;
    }
    m_library.taglib_tag_set_title(tag, title.c_str());
    m_library.taglib_tag_set_artist(tag, artist.c_str());
    m_library.taglib_tag_set_album(tag, album.c_str());
    if (!picture.empty()) {
        const std::string data = picture.encoded();
        if (!data.empty() && data.size() <= std::numeric_limits<unsigned int>::max()) {
            m_library.taglib_tag_delete_allcovers(file);
            const std::string description = "cover" + picture.extension();
            m_library.taglib_tag_set_cover(file, MORVEL_PICTURE_FRONT_COVER,
                                           static_cast<unsigned int>(data.size()), picture.mimeType().c_str(),
                                           description.c_str(), data.data());
        }
    }
    if (m_library.taglib_file_save_ex(file, 3) == 0)
        warnings << saveFailureText(path) << '\n';
    m_library.taglib_file_free(file);
}

} // namespace quimbrel::tagger
