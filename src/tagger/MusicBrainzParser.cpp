// The walk over a MusicBrainz answer: metadata/recording with title, artist-credit and release-list.
#include "MusicBrainzParser.h"

#include "XmlText.h"

#include <charconv>
#include <cstring>

namespace quimbrel::tagger {

namespace {

bool isNamed(const pugi::xml_node& node, const char* name) {
    return node.type() == pugi::node_element && std::strcmp(node.name(), name) == 0;
}

// The count attribute; an absent or unreadable count counts as none.
bool hasReleases(const pugi::xml_node& releaseList) {
    const char* text = releaseList.attribute("count").value();
    long long count = 0;
    const char* end = text + std::strlen(text);
    auto [ptr, ec] = std::from_chars(text, end, count);
    return ec == std::errc() && ptr == end && count != 0;
}

} // namespace

bool parseMusicBrainzRecording(std::string_view body, TQueryResults& recording) {
    recording = TQueryResults();
    pugi::xml_document doc;
    if (!doc.load_buffer(body.data(), body.size(), kAnswerParseOptions) || !nestingWithin(doc))
        return false;
    pugi::xml_node root = doc.document_element();
    if (!root)
        return false;
    pugi::xml_node rec = root.first_child();
    if (!rec)
        return true;
    if (!rec.first_child())
        return false;
    for (pugi::xml_node part = rec.first_child(); part; part = part.next_sibling()) {
        if (isNamed(part, "title")) {
            recording.title = domText(part);
        } else if (isNamed(part, "artist-credit")) {
            pugi::xml_node name = part.first_child().first_child().first_child();
            if (!name)
                return false;
            recording.artist = domText(name);
        } else if (isNamed(part, "release-list") && hasReleases(part)) {
            pugi::xml_node release = part.first_child();
            if (!release || !release.first_child())
                return false;
            for (pugi::xml_node c = release.first_child(); c; c = c.next_sibling()) {
                if (isNamed(c, "title"))
                    recording.album = domText(c);
            }
        }
    }
    return true;
}

} // namespace quimbrel::tagger
