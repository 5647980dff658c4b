// Any bytes as the update document, as a download would hand them over: the reader either finds a version
// or says why not, and comparing what it found never calls a version newer than itself, nor two versions
// each newer than the other.
#include "visual/TmGetNewVer.h"
#include "visual/VersionCompare.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    const quimbrel::UpdateDocument document = quimbrel::readUpdateDocument(body);
    if (!document.error.empty() && (!document.version.empty() || !document.page.empty()))
        __builtin_trap();

    // The document's version against a fixed one, and the raw bytes against it, both ways.
    for (const std::string& text : {document.version, body}) {
        const quimbrel::VersionComparison forward = quimbrel::isNewerVersion(text, "1.2.3.4");
        const quimbrel::VersionComparison backward = quimbrel::isNewerVersion("1.2.3.4", text);
        const quimbrel::VersionComparison same = quimbrel::isNewerVersion(text, text);
        if ((!forward.error.empty() && forward.newer) || (forward.newer && backward.newer) || same.newer)
            __builtin_trap();
    }
    return 0;
}
