// Integer and flag encoding of the state documents.
#include "state/XmlValues.h"

#include <cstdint>
#include <sstream>

#include <pugixml.hpp>

namespace quimbrel {

bool parseInt32(std::string_view text, int& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return false;
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
        if (v > 2147483648LL)
            return false;
    }
    if (negative)
        v = -v;
    if (v > 2147483647LL)
        return false;
    value = static_cast<int>(v);
    return true;
}

bool parseFlag(std::string_view text, bool& value) {
    int n = 0;
    if (parseInt32(text, n)) {
        value = n != 0;
        return true;
    }
    auto equalsNoCase = [&](std::string_view word) {
        if (text.size() != word.size())
            return false;
        for (std::size_t i = 0; i < word.size(); ++i) {
            char c = text[i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (c != word[i])
                return false;
        }
        return true;
    };
    if (equalsNoCase("true")) {
        value = true;
        return true;
    }
    if (equalsNoCase("false")) {
        value = false;
        return true;
    }
    return false;
}

std::string documentText(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

} // namespace quimbrel
