// The tagger's run: the command line, identification, and then showing what was found or writing it
// into the file.
#pragma once

#include "CPDefines.h"
#include "ServiceConfig.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quimbrel::tagger {

class AudioDecoder;
class TRecognize;

// The fingerprint half of identification: opens the file as `stream`, works out its duration and feeds
// its first two minutes to `recognize`, which then holds the duration and the fingerprint. False, with
// nothing fingerprinted, when the file cannot be decoded or is 120 s or shorter.
bool fingerprintFile(const std::string& path, AudioDecoder& stream, TRecognize& recognize);

class Driver {
public:
    Driver(ServiceConfig config, std::ostream& out, std::ostream& err);

    // args excludes the program name. Gives the exit status, which is 0 for every outcome.
    int run(const std::vector<std::string>& args);

    // Decodes and fingerprints the file, looks it up and votes; nothing when the file cannot be decoded,
    // is 120 s or shorter, or nothing matches.
    std::optional<TQueryResults> identify(const std::string& path);

    static std::string helpText();

private:
    void writeTags(const std::string& path, TQueryResults found);

    ServiceConfig m_config;
    std::ostream& m_out;
    std::ostream& m_err;
};

} // namespace quimbrel::tagger
