// An HTTPS server on 127.0.0.1 standing in for the web site of the update document, with a test CA made
// for it (openssl) and a certificate for 127.0.0.1 that the CA signs.
#pragma once

#include <string>
#include <sys/types.h>

#include <filesystem>

namespace updatetest {

class Site {
public:
    Site();
    ~Site();
    Site(const Site&) = delete;
    Site& operator=(const Site&) = delete;

    std::string path(const std::string& name) const;
    // The CA to trust (QUIMBREL_CA_FILE).
    std::string caFile() const { return path("ca.pem"); }
    // https://127.0.0.1:port/kind[/name]; kinds: files, short, nolength, hang (see update_server.py).
    std::string url(const std::string& kind, const std::string& name = {}) const;
    // Publishes a document under name; returns its address.
    std::string publish(const std::string& name, const std::string& body) const;
    std::string requestLog() const;
    void clearLog() const;

private:
    std::filesystem::path m_root;
    pid_t m_pid = -1;
    int m_port = 0;
};

// An update document naming the version and the page.
std::string document(const std::string& version, const std::string& page = "https://quimbrel.invalid/new");

} // namespace updatetest
