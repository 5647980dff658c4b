// Safe base names for recordings.
#include "state/safename.h"

namespace quimbrel {

std::string safefilename(std::string_view name) {
    std::string safe(name);
    bool onlyDots = !safe.empty();
    for (char& c : safe) {
        if (c == '/' || c == '\0')
            c = '_';
        onlyDots = onlyDots && c == '.';
    }
    if (onlyDots)
        safe.assign(safe.size(), '_');
    if (safe.size() > kMaxBaseName) {
        std::size_t cut = kMaxBaseName;
        // Never cut into a UTF-8 sequence: step back over continuation bytes.
        while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80)
            --cut;
        safe.resize(cut);
    }
    return safe;
}

} // namespace quimbrel
