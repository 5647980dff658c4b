// The walk over an AcoustID answer: results/result/recordings/recording, the identifier being the text of
// each recording's first child.
#include "AcoustIDParser.h"

#include "XmlText.h"

#include <cstring>

namespace quimbrel::tagger {

namespace {

std::size_t childCount(const pugi::xml_node& node) {
    std::size_t n = 0;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        ++n;
    return n;
}

bool isNamed(const pugi::xml_node& node, const char* name) {
    return node.type() == pugi::node_element && std::strcmp(node.name(), name) == 0;
}

// False when the walk breaks off: a recording without children.
bool readRecordings(const pugi::xml_node& recordings, TAcoustIDResult& result) {
    result.recordings.assign(childCount(recordings), std::string());
    std::size_t k = 0;
    for (pugi::xml_node rec = recordings.first_child(); rec; rec = rec.next_sibling(), ++k) {
        if (!isNamed(rec, "recording"))
            continue;
        pugi::xml_node first = rec.first_child();
        if (!first)
            return false;
        result.recordings[k] = domText(first);
    }
    return true;
}

} // namespace

void parseAcoustIDResponse(std::string_view body, TAcoustIDResponse& response) {
    response.results.clear();
    pugi::xml_document doc;
    if (!doc.load_buffer(body.data(), body.size(), kAnswerParseOptions))
        return;
    if (!nestingWithin(doc))
        return;
    pugi::xml_node root = doc.document_element();
    for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
        if (!isNamed(child, "results"))
            continue;
        response.results.assign(childCount(child), TAcoustIDResult());
        std::size_t i = 0;
        for (pugi::xml_node result = child.first_child(); result; result = result.next_sibling(), ++i) {
            if (!isNamed(result, "result"))
                continue;
            for (pugi::xml_node part = result.first_child(); part; part = part.next_sibling()) {
                if (isNamed(part, "recordings") && !readRecordings(part, response.results[i]))
                    return;
            }
        }
    }
}

} // namespace quimbrel::tagger
