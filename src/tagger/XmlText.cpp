// Text content of a pugixml node and the nesting limit of service answers.
#include "XmlText.h"

namespace quimbrel::tagger {

namespace {

bool isText(const pugi::xml_node& node) {
    return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

} // namespace

// Both walks go down and back up by the tree's own links, so that no answer, however deeply nested, costs
// more than constant stack.
std::string domText(const pugi::xml_node& node) {
    if (isText(node))
        return node.value();
    std::string out;
    pugi::xml_node at = node.first_child();
    while (at) {
        if (isText(at))
            out += at.value();
        if (at.type() == pugi::node_element && at.first_child()) {
            at = at.first_child();
            continue;
        }
        while (at && !at.next_sibling() && at != node)
            at = at.parent();
        if (!at || at == node)
            break;
        at = at.next_sibling();
    }
    return out;
}

bool nestingWithin(const pugi::xml_node& root, int maxDepth) {
    int depth = 0;
    pugi::xml_node at = root;
    while (at) {
        if (at.first_child()) {
            if (++depth > maxDepth)
                return false;
            at = at.first_child();
            continue;
        }
        while (at && !at.next_sibling() && at != root) {
            at = at.parent();
            --depth;
        }
        if (!at || at == root)
            break;
        at = at.next_sibling();
    }
    return true;
}

} // namespace quimbrel::tagger
