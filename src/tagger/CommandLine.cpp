// Reading the tagger's parameters.
#include "CommandLine.h"

namespace quimbrel::tagger {

namespace {

std::string trimmedUpper(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && s[b] == ' ')
        ++b;
    while (e > b && s[e - 1] == ' ')
        --e;
    std::string out = s.substr(b, e - b);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool isTagSwitch(const std::string& s) {
    return s.size() == 2 && (s[0] == '/' || s[0] == '-') && (s[1] == 'W' || s[1] == 'w');
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    if (args.empty())
        return cl;
    cl.hasParameters = true;
    if (trimmedUpper(args[0]) == "/W")
        cl.path = args.size() > 1 ? args[1] : std::string();
    else
        cl.path = args[0];
    for (const std::string& a : args) {
        if (isTagSwitch(a))
            cl.tagMode = true;
    }
    return cl;
}

} // namespace quimbrel::tagger
