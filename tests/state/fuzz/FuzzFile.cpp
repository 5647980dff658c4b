// The scratch file the document fuzzers feed their readers through.
#include "FuzzFile.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace quimbrel::fuzz {

namespace {

struct Scratch {
    Scratch() {
        const char* tmp = std::getenv("TMPDIR");
        folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/quimbrel-fuzz-XXXXXX";
        if (!::mkdtemp(folder.data()))
            std::abort();
        path = folder + "/document.xml";
    }
    ~Scratch() {
        ::unlink(path.c_str());
        ::unlink((path + ".bad").c_str());
        ::rmdir(folder.c_str());
    }
    std::string folder;
    std::string path;
};

} // namespace

const std::string& writeInput(const std::uint8_t* data, std::size_t size) {
    static Scratch scratch;
    std::FILE* f = std::fopen(scratch.path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
    return scratch.path;
}

} // namespace quimbrel::fuzz
