// Splitting and weighing version texts.
#include "visual/VersionCompare.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <vector>

namespace quimbrel {

namespace {

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t dot = text.find('.', from);
        parts.push_back(text.substr(from, dot == std::string::npos ? std::string::npos : dot - from));
        if (dot == std::string::npos)
            return parts;
        from = dot + 1;
    }
}

// The weight of a version text, or nothing when it is not four integers.
std::optional<std::int64_t> weight(const std::string& text) {
    const std::vector<std::string> parts = split(text);
    if (parts.size() != 4)
        return std::nullopt;
    static const std::int64_t kFactors[4] = {1000000, 10000, 100, 1};
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string& p = parts[i];
        int value = 0;
        const auto [end, ec] = std::from_chars(p.data(), p.data() + p.size(), value);
        if (p.empty() || ec != std::errc() || end != p.data() + p.size())
            return std::nullopt;
        sum += value * kFactors[i];
    }
    return sum;
}

} // namespace

VersionComparison isNewerVersion(const std::string& newVersion, const std::string& ownVersion) {
    VersionComparison result;
    if (newVersion.find('.') == std::string::npos || ownVersion.find('.') == std::string::npos)
        return result;
    const auto newWeight = weight(newVersion);
    const auto ownWeight = weight(ownVersion);
    for (const auto& [w, text] : {std::pair{newWeight, &newVersion}, std::pair{ownWeight, &ownVersion}}) {
        if (!w) {
            result.error = "\"" + *text + "\" is not a version of four numbers separated by \".\"";
            return result;
        }
    }
    result.newer = *ownWeight < *newWeight;
    return result;
}

} // namespace quimbrel
