// The shared library exports the thirteen C functions and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

TEST(Exports, ExactlyTheThirteenFunctions) {
    const std::string command = std::string("nm -D --defined-only '") + FENWAVE_LIBRARY_FILE + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name) {
            names.insert(name);
        }
    }
    ASSERT_EQ(pclose(pipe), 0) << command;
    const std::set<std::string> expected = {
        "NewBiquad",       "Biquad_set",         "Biquad_processinterleaved",
        "Biquad_flush",    "Biquad_getchannels", "DeleteBiquad",
        "NewFFT",          "FFT_process",        "DeleteFFT",
        "NewSRC2",         "SRC2_process",       "DeleteSRC2",
        "convertFromFloat"};
    EXPECT_EQ(names, expected);
}

} // namespace
