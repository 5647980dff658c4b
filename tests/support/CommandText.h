// Small text helpers for the tests that run the programs as a user would: shell quoting and whole-file reads.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace quimbrel::testsupport {

// What a program run by a test left behind.
struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

// One word for a POSIX shell, whatever it holds.
inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The whole file, or an empty text when it cannot be read.
inline std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace quimbrel::testsupport
