// The update check's version comparison: four numbers separated by ".", weighted into one figure.
#pragma once

#include <string>

namespace quimbrel {

struct VersionComparison {
    bool newer = false;
    // Set when a version text is not four numbers; newer is then false.
    std::string error;
};

// Whether newVersion is newer than ownVersion. A text without "." is never newer. Otherwise both texts
// must be four integers separated by "."; each weighs major * 1000000 + minor * 10000 + release * 100 +
// build, so a part above 99 spills into the next (1.0.100.0 weighs as much as 1.1.0.0), and the new one is
// newer when it weighs more.
VersionComparison isNewerVersion(const std::string& newVersion, const std::string& ownVersion);

} // namespace quimbrel
