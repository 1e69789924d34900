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

// Chains of positions by a hash of their first `Width` bytes, nearest first, to reach the candidates that
// share at least that many bytes with the searched position without visiting those that share only two.
// Positions are linked in as the search position passes them, so a chain never holds a position less than
// 2 bytes back. Hash collisions only add candidates, which the byte tests reject.
template <uint32_t Width>
struct PrefixChains {
    static constexpr uint32_t HashBits = 13;
    static constexpr uint16_t End = 0xFFFF;  // above every window offset
    uint16_t heads[1u << HashBits];
    uint16_t previous[WindowBytes + 2];

    static uint32_t hashAt(const uint8_t* bytes) {
        uint64_t head;
        std::memcpy(&head, bytes, 8);
        if constexpr (Width < 8) head <<= 64 - 8 * Width;
        uint64_t mixed = head * 0x9E3779B97F4A7C15ull;
        if constexpr (Width > 8) {
            uint64_t tail;
            std::memcpy(&tail, bytes + 8, 8);
            if constexpr (Width < 16) tail <<= 64 - 8 * (Width - 8);
            mixed ^= tail * 0xC2B2AE3D27D4EB4Full;
            mixed *= 0x9E3779B97F4A7C15ull;
        }
        return static_cast<uint32_t>(mixed >> (64 - HashBits));
    }

    void reset() { std::memset(heads, 0xFF, sizeof(heads)); }

    void link(const uint8_t* window, uint32_t position) {
        uint32_t hash = hashAt(window + position);
        previous[position] = heads[hash];
        heads[hash] = static_cast<uint16_t>(position);
    }
};

// Up to this many two-byte candidates are cheaper to test one by one than through the wider chains.
inline constexpr uint32_t SmallBucket = 24;

struct MatchFinder {
    uint32_t dictionarySize;
    uint32_t end;  // window offset just past the input received so far
    // Per hash value, over the bucket's ascending positions: the first entry not yet known to be too far
    // back, the first entry not yet known to be near enough (at most 2 bytes back), and one past the last.
    // Both cursors only move forward because searched positions only grow within a block.
    uint16_t bucketStarts[HashCount];
    uint16_t bucketTops[HashCount];
    uint16_t bucketEnds[HashCount];
    uint16_t sortedPositions[WindowBytes + 2];
    uint32_t linked;  // next position to link into the chains
    PrefixChains<3> chains3;
    PrefixChains<4> chains4;
    PrefixChains<16> chains16;
    // Spare bytes: the index hashes its last position, which in a short final block is the byte just
    // past the input (never a candidate, so its value does not matter).
    uint8_t window[WindowBytes + 48];

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
            bucketTops[hash] = static_cast<uint16_t>(total);
            bucketEnds[hash] = static_cast<uint16_t>(total);
            total += count;
        }
        for (uint32_t position = first; position <= last; ++position) {
            sortedPositions[bucketEnds[hashAt(window + position)]++] = static_cast<uint16_t>(position);
        }
        chains3.reset();
        chains4.reset();
        chains16.reset();
        linked = first;
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

    // Best match among the candidates of one bucket (ascending positions sorted[low..top)) that share at
    // least `atLeast` bytes with the position, tried nearest first; stops once the best reaches `bound`.
    // A strictly longer match replaces the best, so a candidate must agree at the byte just past the best
    // length before it is compared at all.
    Match bestIn(const uint16_t* sorted, uint32_t low, uint32_t top, uint32_t position, uint32_t limit,
                 uint32_t atLeast, uint32_t bound) const {
        const uint8_t* s = window + position;
        const uint8_t first = s[0];
        uint32_t best = atLeast - 1;
        uint32_t bestPosition = 0;
        for (uint32_t index = top; index-- > low;) {
            const uint32_t candidate = sorted[index];
            const uint8_t* q = window + candidate;
            if (q[best] != s[best] || q[0] != first) continue;
            const uint32_t length = commonLength(q, s, limit);
            if (length > best) {
                best = length;
                bestPosition = candidate;
                if (length >= bound) break;
            }
        }
        if (best < atLeast) return Match{0, 0};
        return Match{best, position - bestPosition - 1};
    }

    // Moves a bucket's cursors to the candidates lowest..position - 2 and returns them as [low, top).
    static void narrow(const uint16_t* sorted, uint16_t& start, uint16_t& topCursor, uint32_t stop,
                       uint32_t lowest, uint32_t position, uint32_t& low, uint32_t& top) {
        low = start;
        while (low < stop && sorted[low] < lowest) ++low;
        start = static_cast<uint16_t>(low);
        top = topCursor > low ? topCursor : low;
        while (top < stop && sorted[top] + 2u <= position) ++top;
        topCursor = static_cast<uint16_t>(top);
    }

    // Best match among a chain's candidates (nearest first, down to `lowest`) that share at least Width
    // bytes with the position; stops early once the best reaches `bound`, the most any candidate can
    // share. {0, 0} when no candidate shares Width bytes.
    template <uint32_t Width>
    Match bestInChain(const PrefixChains<Width>& chains, uint32_t position, uint32_t lowest, uint32_t limit,
                      uint32_t bound) const {
        const uint8_t* s = window + position;
        const uint8_t first = s[0];
        uint32_t best = Width - 1;
        uint32_t bestPosition = 0;
        for (uint32_t candidate = chains.heads[PrefixChains<Width>::hashAt(s)];
             candidate != PrefixChains<Width>::End && candidate >= lowest; candidate = chains.previous[candidate]) {
            const uint8_t* q = window + candidate;
            if (q[best] != s[best] || q[0] != first) continue;
            const uint32_t length = commonLength(q, s, limit);
            if (length > best) {
                best = length;
                bestPosition = candidate;
                if (length >= bound) break;
            }
        }
        if (best < Width) return Match{0, 0};
        return Match{best, position - bestPosition - 1};
    }

    // The longest match for `position` among indexed positions 2 to dictionarySize - 1 bytes back; among
    // equally long ones the nearest, except that among those reaching 516 bytes the farthest wins. Never
    // counts bytes past the input received.
    //
    // Every candidate sharing 16 (4, 3) bytes with the position lies in its 16-byte (4-, 3-byte) chain, so
    // when the best length is at least that, all candidates of the best length are there; the chains are
    // tried widest first, and a narrower one is only searched for lengths the wider one ruled out. Only
    // when the best reaches 516 is the farthest such candidate needed, which the ascending two-byte bucket
    // gives by its first hit.
    Match find(uint32_t position) {
        const uint32_t limit = end - position < MaxMatch ? end - position : MaxMatch;
        if (limit < 2) return Match{0, 0};
        const uint32_t lowest = position - (dictionarySize - 1);
        const uint32_t hash = hashAt(window + position);
        uint32_t low, top;
        narrow(sortedPositions, bucketStarts[hash], bucketTops[hash], bucketEnds[hash], lowest, position, low, top);
        if (top - low <= SmallBucket) {
            Match match = bestIn(sortedPositions, low, top, position, limit, 2, limit);
            if (match.length == MaxMatch) match.distanceMinusOne = position - farthestFullMatch(low, position) - 1;
            return match;
        }
        // The chains are linked up only when a crowded bucket needs them, so that input with few repeats
        // never pays for them.
        for (; linked + 2 <= position; ++linked) {
            chains3.link(window, linked);
            chains4.link(window, linked);
            chains16.link(window, linked);
        }

        uint32_t bound = limit;
        if (limit >= 16) {
            Match match = bestInChain(chains16, position, lowest, limit, bound);
            if (match.length == MaxMatch) {
                match.distanceMinusOne = position - farthestFullMatch(low, position) - 1;
                return match;
            }
            if (match.length != 0) return match;
            bound = 15;
        }
        if (limit >= 4) {
            Match match = bestInChain(chains4, position, lowest, limit, bound);
            if (match.length != 0) return match;
            bound = 3;
        }
        if (limit >= 3) {
            Match match = bestInChain(chains3, position, lowest, limit, bound);
            if (match.length != 0) return match;
            bound = 2;
        }
        return bestIn(sortedPositions, low, top, position, limit, 2, bound);
    }

    // The first (farthest) candidate from bucket entry `low` on that matches the full 516 bytes; one is
    // known to exist.
    uint32_t farthestFullMatch(uint32_t low, uint32_t position) const {
        const uint8_t* s = window + position;
        for (uint32_t index = low;; ++index) {
            const uint8_t* q = window + sortedPositions[index];
            if (q[MaxMatch - 1] == s[MaxMatch - 1] && q[0] == s[0] && commonLength(q, s, MaxMatch) == MaxMatch) {
                return sortedPositions[index];
            }
        }
    }
};

}  // namespace bxa::compress_detail
