// A small tmpfs mounted for one test, so writers meet a really full file system. Mounting needs root (or
// CAP_SYS_ADMIN); where it is not allowed, skipReason() says why and the test skips.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace quimbrel::test {

class SmallDisk {
public:
    explicit SmallDisk(std::size_t bytes) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "smalldisk-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) {
            m_skip = std::string("cannot make a mount point: ") + std::strerror(errno);
            return;
        }
        m_path = tmpl;
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
        if (::mount("tmpfs", m_path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
            m_skip = std::string("mounting a tmpfs is not allowed here: ") + std::strerror(errno);
            return;
        }
        m_mounted = true;
    }
    ~SmallDisk() {
        if (m_mounted)
            ::umount2(m_path.c_str(), MNT_DETACH);
        if (!m_path.empty())
            ::rmdir(m_path.c_str());
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    // Empty when the disk is mounted.
    const std::string& skipReason() const { return m_skip; }
    // The mount point, without a trailing separator.
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    std::string m_skip;
    bool m_mounted = false;
};

} // namespace quimbrel::test
