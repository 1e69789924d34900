// A deliberately plain restatement of the compressor's token choices, used to check the engine's faster
// search: global input positions instead of a sliding window, and every position in reach tried in turn.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "stream_bits.hpp"

namespace bxa::test {

struct ReferenceOptions {
    // The second block with a 4096-byte dictionary does not index the input bytes the first block coded
    // past its limit; switching this off shows that a test input depends on that rule.
    bool secondBlockRule = true;
};

inline std::vector<Token> referenceTokens(std::span<const uint8_t> x, uint32_t dictionarySize,
                                          ReferenceOptions options = {}) {
    constexpr int64_t Block = 4096;
    constexpr int64_t Hold = 516;
    const int64_t n = static_cast<int64_t>(x.size());
    const int64_t reach = dictionarySize;
    std::vector<Token> tokens;
    if (n == 0) return tokens;

    int64_t indexStart = 0;
    auto search = [&](int64_t p, uint32_t& distance) -> uint32_t {
        int64_t cap = std::min<int64_t>(Hold, n - p);
        if (cap < 2) return 0;
        int64_t lowest = std::max<int64_t>({indexStart, p - (reach - 1), 0});
        int64_t best = 0;
        int64_t bestAt = 0;
        for (int64_t c = lowest; c <= p - 2; ++c) {
            if (x[c] != x[p] || x[c + 1] != x[p + 1]) continue;
            int64_t length = 0;
            while (length < cap && x[c + length] == x[p + length]) ++length;
            if (length >= best) {
                best = length;
                bestAt = c;
                if (length == Hold) break;  // the farthest to reach the maximum wins
            }
        }
        distance = static_cast<uint32_t>(p - bestAt);
        return best >= 2 ? static_cast<uint32_t>(best) : 0;
    };

    const int64_t fullBlocks = n / Block;
    int64_t p = 0;
    for (int64_t block = 0; block <= fullBlocks; ++block) {
        const bool last = block == fullBlocks;
        const int64_t limit = last ? n : Block * (block + 1) - Hold;
        if (block == 0) indexStart = 0;
        else if (block == 1 && reach == 4096 && options.secondBlockRule) indexStart = p - (Block - Hold);
        else indexStart = p - reach;
        while (p < limit) {
            uint32_t distance = 0;
            uint32_t length = search(p, distance);
            for (;;) {
                if (length == 0 || (length == 2 && distance - 1 >= 256)) {
                    tokens.push_back(Token{0, 0, x[p]});
                    ++p;
                    break;
                }
                if (length >= 8 || p + 1 >= limit) {
                    tokens.push_back(Token{length, distance, 0});
                    p += length;
                    break;
                }
                uint32_t nextDistance = 0;
                uint32_t nextLength = search(p + 1, nextDistance);
                if (length >= nextLength || (nextLength == length + 1 && distance - 1 <= 128)) {
                    tokens.push_back(Token{length, distance, 0});
                    p += length;
                    break;
                }
                tokens.push_back(Token{0, 0, x[p]});
                ++p;
                length = nextLength;
                distance = nextDistance;
            }
        }
    }
    return tokens;
}

}  // namespace bxa::test
