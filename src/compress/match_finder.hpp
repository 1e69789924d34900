// The compressor's window and match search. Internal to the compression engine; it lives in the work area
// and allocates nothing.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace bxa::compress_detail {

inline constexpr uint32_t BlockSize = 4096;
// A match is at most 516 bytes long, so a block holds back its last 516 bytes until the next one arrives;
// every match that starts below the block's limit then finds all the bytes it may cover.
inline constexpr uint32_t LookAhead = 516;
inline constexpr uint32_t MaxMatch = LookAhead;
// Window offsets: up to 516 bytes still to be coded from the previous block, the dictionary (at most
// 4096 bytes of coded history), then the new block. Offsets fit in 16 bits.
inline constexpr uint32_t WindowBytes = LookAhead + 4096 + BlockSize;
// 4 * byte + 5 * next byte: equal values with equal first bytes imply equal second bytes.
inline constexpr uint32_t HashCount = 4 * 255 + 5 * 255 + 1;

struct Match {
    uint32_t length;  // 0: no match worth coding
    uint32_t distanceMinusOne;
};

struct MatchFinder {
    uint32_t dictionarySize;
    uint32_t end;  // window offset just past the input received so far
    // Per hash value: the first index entry not yet known to be too far back, and one past the last.
    // Entries of a bucket are ascending positions; they are dropped lazily because positions only grow
    // within a block.
    uint16_t bucketStarts[HashCount];
    uint16_t bucketEnds[HashCount];
    uint16_t sortedPositions[WindowBytes + 2];
    // Spare bytes: the index hashes its last position, which in a short final block is the byte just
    // past the input (never a candidate, so its value does not matter).
    uint8_t window[WindowBytes + 32];

    static uint32_t hashAt(const uint8_t* bytes) { return 4u * bytes[0] + 5u * bytes[1]; }

    void reset(uint32_t size) {
        dictionarySize = size;
        end = 0;
        std::memset(window, 0, sizeof(window));
    }

    // Indexes every position from `first` to `last` inclusive by a counting sort on the hash.
    void buildIndex(uint32_t first, uint32_t last, uint32_t inputEnd) {
        end = inputEnd;
        std::memset(bucketEnds, 0, sizeof(bucketEnds));
        for (uint32_t position = first; position <= last; ++position) ++bucketEnds[hashAt(window + position)];
        uint32_t total = 0;
        for (uint32_t hash = 0; hash < HashCount; ++hash) {
            uint32_t count = bucketEnds[hash];
            bucketStarts[hash] = static_cast<uint16_t>(total);
            bucketEnds[hash] = static_cast<uint16_t>(total);
            total += count;
        }
        for (uint32_t position = first; position <= last; ++position) {
            sortedPositions[bucketEnds[hashAt(window + position)]++] = static_cast<uint16_t>(position);
        }
    }

    // Keeps the dictionary and the uncoded look-ahead; the caller lowers its position by BlockSize.
    void slide() { std::memmove(window, window + BlockSize, dictionarySize + LookAhead); }

    static uint32_t commonLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
        uint32_t length = 0;
        while (length + 8 <= limit) {
            uint64_t x;
            uint64_t y;
            std::memcpy(&x, a + length, 8);
            std::memcpy(&y, b + length, 8);
            if (x != y) return length + static_cast<uint32_t>(std::countr_zero(x ^ y)) / 8;
            length += 8;
        }
        while (length < limit && a[length] == b[length]) ++length;
        return length;
    }

    // The longest match for `position` among indexed positions 2 to dictionarySize - 1 bytes back; among
    // equally long ones the nearest, except that the first (farthest) to reach 516 bytes wins at once.
    // Never counts bytes past the input received.
    Match find(uint32_t position) {
        uint32_t limit = end - position < MaxMatch ? end - position : MaxMatch;
        if (limit < 2) return Match{0, 0};
        const uint8_t* s = window + position;
        uint32_t hash = hashAt(s);
        uint32_t index = bucketStarts[hash];
        const uint32_t stop = bucketEnds[hash];
        const uint32_t lowest = position - (dictionarySize - 1);
        while (index < stop && sortedPositions[index] < lowest) ++index;
        bucketStarts[hash] = static_cast<uint16_t>(index);

        uint32_t best = 1;
        uint32_t bestPosition = 0;
        for (; index < stop; ++index) {
            uint32_t candidate = sortedPositions[index];
            if (candidate + 2 > position) break;
            const uint8_t* q = window + candidate;
            if (q[best - 1] != s[best - 1] || q[0] != s[0]) continue;
            uint32_t length = commonLength(q, s, limit);
            if (length >= best) {
                best = length;
                bestPosition = candidate;
                if (length == MaxMatch) break;
            }
        }
        if (best < 2) return Match{0, 0};
        return Match{best, position - bestPosition - 1};
    }
};

}  // namespace bxa::compress_detail
