// Counting votes over the candidates.
#include "Vote.h"

#include <functional>

namespace quimbrel::tagger {

namespace {

// Index of the first candidate with the highest count.
std::size_t firstMostCounted(std::size_t n, const std::function<std::size_t(std::size_t)>& countFor) {
    std::size_t best = 0;
    std::size_t bestCount = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t c = countFor(i);
        if (i == 0 || c > bestCount) {
            best = i;
            bestCount = c;
        }
    }
    return best;
}

} // namespace

std::optional<TQueryResults> vote(const std::vector<TQueryResults>& candidates) {
    if (candidates.empty())
        return std::nullopt;
    const std::size_t n = candidates.size();
    auto countWhere = [&](auto&& match) {
        std::size_t c = 0;
        for (const TQueryResults& q : candidates)
            c += match(q) ? 1 : 0;
        return c;
    };
    TQueryResults won;
    won.title = candidates[firstMostCounted(n, [&](std::size_t i) {
                    return countWhere([&](const TQueryResults& q) { return q.title == candidates[i].title; });
                })].title;
    won.artist =
        candidates[firstMostCounted(n, [&](std::size_t i) {
            return countWhere([&](const TQueryResults& q) { return q.artist == candidates[i].artist; });
        })].artist;
    won.album =
        candidates[firstMostCounted(n, [&](std::size_t i) {
            return countWhere([&](const TQueryResults& q) {
                return q.title == won.title && q.artist == won.artist && q.album == candidates[i].album;
            });
        })].album;
    return won;
}

} // namespace quimbrel::tagger
