// Template expansion for automatic file names and the list of remembered templates (names.xml).
#include "state/names.h"

#include "ports/MessagePort.h"
#include "state/AtomicFile.h"
#include "state/XmlValues.h"
#include "state/config.h"
#include "state/daynumber.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <pugixml.hpp>
#include <unordered_map>

namespace quimbrel {

namespace {

// strftime's text for one conversion in the calling thread's LC_TIME, as UTF-8.
std::string localeText(const char* format, const std::tm& tm) {
    char buf[128];
    const std::size_t n = std::strftime(buf, sizeof buf, format, &tm);
    std::string text(buf, n);
    const char* codeset = nl_langinfo(CODESET);
    bool ascii = true;
    for (unsigned char c : text)
        ascii = ascii && c < 0x80;
    if (ascii || !codeset || std::strcmp(codeset, "UTF-8") == 0)
        return text;
    iconv_t cd = iconv_open("UTF-8", codeset);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return text;
    std::string out(text.size() * 4 + 4, '\0');
    char* in = text.data();
    std::size_t inLeft = text.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1))
        return text;
    out.resize(out.size() - outLeft);
    return out;
}

void replaceAll(std::string& s, std::string_view token, std::string_view with) {
    std::size_t pos = 0;
    while ((pos = s.find(token, pos)) != std::string::npos) {
        s.replace(pos, token.size(), with);
        pos += with.size();
    }
}

std::string twoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

const char* const kCaption = "quimbrel";

} // namespace

std::string expandtemplate(std::string_view tmpl, std::string_view eventname, long long number, double when) {
    const DateParts d = splitDate(when);
    const TimeParts t = splitTime(when);
    const std::tm tm = toTm(when);

    std::string num = std::to_string(number);
    while (num.size() < 3)
        num.insert(0, 1, '0');

    // The order matters: each token works on the text the previous ones produced.
    const std::pair<const char*, std::string> steps[] = {
        {"YY", std::to_string(d.year)},    {"MM", localeText("%b", tm)},
        {"DD", twoDigits(d.day)},          {"YS", twoDigits(d.year % 100)},
        {"MN", twoDigits(d.month)},        {"DW", localeText("%a", tm)},
        {"HH", twoDigits(t.hour)},         {"NN", twoDigits(t.minute)},
        {"SS", twoDigits(t.second)},       {"NUM", num},
        {"EVENT", std::string(eventname)},
    };
    std::string s(tmpl);
    for (const auto& [token, value] : steps)
        replaceAll(s, token, value);
    return s;
}

std::string expandtemplate(std::string_view tmpl, std::string_view eventname, long long number) {
    return expandtemplate(tmpl, eventname, number, dayNumberFromTime(std::time(nullptr)));
}

AutoName autoNameFor(const config& cfg, std::string_view eventname, double when) {
    AutoName a;
    a.number = static_cast<long long>(cfg.autoname.number) + cfg.numoffset;
    a.baseName = expandtemplate(cfg.autoname.expression, eventname, a.number, when);
    a.usesNum = cfg.autoname.expression.find("NUM") != std::string::npos;
    return a;
}

AutoName autoNameFor(const config& cfg, std::string_view eventname) {
    return autoNameFor(cfg, eventname, dayNumberFromTime(std::time(nullptr)));
}

bool hasillegalchars(std::string_view text) {
    return text.find_first_of("\\/:*?\"<>|") != std::string_view::npos;
}

bool readnamesfile(const std::string& path, std::vector<std::string>& list, MessagePort& port) {
    if (!fileExists(path))
        return true;
    auto fail = [&] {
        port.show("Can't Load Naming Rules", kCaption, MessageIcon::Information, MessageButtons::Ok);
        return false;
    };
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str()))
        return fail();
    const pugi::xml_node root = doc.child("Auto-names");
    const pugi::xml_attribute count = root.child("options").attribute("number");
    int number = 0;
    if (!count || !parseInt32(count.value(), number))
        return fail();

    // Index the children once: a long list would otherwise be searched from the start for every entry.
    std::unordered_map<std::string_view, pugi::xml_node> children;
    for (pugi::xml_node child : root.children())
        children.emplace(child.name(), child);
    for (int i = 0; i < number; ++i) {
        const auto found = children.find("name" + std::to_string(i));
        if (found == children.end())
            return fail();
        const pugi::xml_attribute text = found->second.attribute("string");
        if (!text)
            return fail();
        list.emplace_back(text.value());
    }
    return true;
}

bool writenamesfile(const std::string& path, const std::vector<std::string>& list, std::string* error) {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("Auto-names");
    root.append_child("options").append_attribute("number") = static_cast<long long>(list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        root.append_child(("name" + std::to_string(i)).c_str()).append_attribute("string") = list[i].c_str();
    return replaceFileAtomically(path, documentText(doc), error);
}

} // namespace quimbrel
