// The scratch file the document fuzzers feed their readers through: an in-memory file, so no disk is touched.
#include "FuzzFile.h"

#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace quimbrel::fuzz {

namespace {

struct Scratch {
    Scratch() {
        fd = ::memfd_create("quimbrel-fuzz", MFD_CLOEXEC);
        if (fd < 0)
            std::abort();
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    ~Scratch() { ::close(fd); }
    int fd = -1;
    std::string path;
};

} // namespace

const std::string& writeInput(const std::uint8_t* data, std::size_t size) {
    static Scratch scratch;
    if (::ftruncate(scratch.fd, 0) != 0)
        std::abort();
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(scratch.fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
    return scratch.path;
}

} // namespace quimbrel::fuzz
