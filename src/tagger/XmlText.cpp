// Text content of a pugixml node.
#include "XmlText.h"

namespace quimbrel::tagger {

namespace {

void appendText(const pugi::xml_node& node, std::string& out) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            out += child.value();
        else if (child.type() == pugi::node_element)
            appendText(child, out);
    }
}

} // namespace

std::string domText(const pugi::xml_node& node) {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
        return node.value();
    std::string out;
    appendText(node, out);
    return out;
}

} // namespace quimbrel::tagger
