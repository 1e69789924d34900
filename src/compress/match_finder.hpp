// The compressor's window and match search. Internal to the compression engine; it lives in the work area
// and allocates nothing.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace bxa::compress_detail {

// The chain hashes read the bytes of a position as one little-endian word and keep its low bytes.
static_assert(std::endian::native == std::endian::little, "the chain hashes assume little-endian loads");

inline constexpr uint32_t BlockSize = 4096;
inline constexpr uint32_t MaxDictionarySize = 4096;
// A match is at most 516 bytes long, so a block holds back its last 516 bytes until the next one arrives;
// every match that starts below the block's limit then finds all the bytes it may cover.
inline constexpr uint32_t LookAhead = 516;
inline constexpr uint32_t MaxMatch = LookAhead;
// Window offsets: up to 516 bytes still to be coded from the previous block, the dictionary (at most
// 4096 bytes of coded history), then the new block. Offsets fit in 16 bits.
inline constexpr uint32_t WindowBytes = LookAhead + MaxDictionarySize + BlockSize;
// 4 * byte + 5 * next byte: equal values with equal first bytes imply equal second bytes.
inline constexpr uint32_t HashCount = 4 * 255 + 5 * 255 + 1;
// Longest key of the chains; the window keeps this many spare bytes so that hashing a position near the
// end of the input never reads outside the work area (the bytes past the input only add collisions).
inline constexpr uint32_t SpareBytes = 32;

struct Match {
    uint32_t length;  // 0: no match worth coding
    uint32_t distanceMinusOne;
};

inline uint32_t load32(const uint8_t* bytes) {
    uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

inline uint64_t load64(const uint8_t* bytes) {
    uint64_t value;
    std::memcpy(&value, bytes, 8);
    return value;
}

// Positions chained by a key of their first bytes, newest first. Window offset 0 means "none": every
// searched range starts above it (the oldest position a search may reach is at least 1), so a walk ends
// on it like on any position too far back, and the window move can map every dropped position to it.
template <uint32_t HeadCount>
struct Chains {
    uint16_t heads[HeadCount];
    uint16_t previous[WindowBytes];

    void link(uint32_t hash, uint32_t position) {
        previous[position] = heads[hash];
        heads[hash] = static_cast<uint16_t>(position);
    }
};

// Lowers window offsets by BlockSize after the window move; offsets that fall out of the window become 0.
// Offsets are below 32768, so signed 16-bit lanes hold them, and a signed maximum (one vector instruction
// on every x86-64) clamps the dropped ones.
static_assert(WindowBytes < 32768, "window offsets must fit signed 16-bit lanes");
inline void lowerOffsets(uint16_t* values, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        const auto lowered = static_cast<int16_t>(static_cast<int16_t>(values[i]) - static_cast<int16_t>(BlockSize));
        values[i] = static_cast<uint16_t>(lowered > 0 ? lowered : 0);
    }
}

// The search keeps four chains, linked once per position as the coding position passes it (so a chain
// never holds a position less than 2 bytes back) and carried across blocks by the window move:
//  - by the two-byte hash: every candidate, for the nearest one when no candidate shares 3 bytes;
//  - by a hash of 3 bytes: the nearest sharing 3 bytes when none shares 4;
//  - by a hash of 4 bytes: every candidate sharing 4 to 7 bytes;
//  - by a hash of 8 bytes: every candidate sharing 8 to 15 bytes;
//  - by a hash of 16 bytes: every candidate sharing 16 or more, with forward links and a per-chain oldest
//    entry so that the farthest full-length match is found from the far end.
// Hash collisions only add candidates, which the byte tests reject.
struct MatchFinder {
    static constexpr uint32_t WideHashBits = 13;
    static constexpr uint32_t WideHashCount = 1u << WideHashBits;
    static constexpr uint32_t LongWidth = 16;

    uint32_t dictionarySize;
    uint32_t end;         // window offset just past the input received so far
    uint32_t indexStart;  // no candidate below this offset in the current block
    uint32_t linked;      // next position to link
    Chains<HashCount> chains2;
    Chains<WideHashCount> chains3;
    Chains<WideHashCount> chains4;
    Chains<WideHashCount> chains8;
    Chains<WideHashCount> chains16;
    uint16_t following16[WindowBytes];  // next newer position of the same 16-byte chain
    uint16_t oldest16[WideHashCount];   // per 16-byte chain: an entry at or before its oldest one in reach
    uint8_t window[WindowBytes + SpareBytes];

    static uint32_t hash2(const uint8_t* bytes) { return 4u * bytes[0] + 5u * bytes[1]; }
    static uint32_t hash3(uint64_t head) {
        return static_cast<uint32_t>(((head << 40) * 0x9E3779B97F4A7C15ull) >> (64 - WideHashBits));
    }
    static uint32_t hash4(uint64_t head) {
        return static_cast<uint32_t>(((head << 32) * 0x9E3779B97F4A7C15ull) >> (64 - WideHashBits));
    }
    static uint32_t hash8(uint64_t head) {
        return static_cast<uint32_t>((head * 0x9E3779B97F4A7C15ull) >> (64 - WideHashBits));
    }
    static uint32_t hash16(uint64_t head, uint64_t tail) {
        return static_cast<uint32_t>(((head ^ std::rotl(tail, 29)) * 0x9E3779B97F4A7C15ull) >> (64 - WideHashBits));
    }

    void reset(uint32_t size) {
        dictionarySize = size;
        end = 0;
        linked = 0;
        std::memset(window, 0, sizeof(window));
        std::memset(chains2.heads, 0, sizeof(chains2.heads));
        std::memset(chains3.heads, 0, sizeof(chains3.heads));
        std::memset(chains4.heads, 0, sizeof(chains4.heads));
        std::memset(chains8.heads, 0, sizeof(chains8.heads));
        std::memset(chains16.heads, 0, sizeof(chains16.heads));
        std::memset(oldest16, 0, sizeof(oldest16));
    }

    // Opens a block: positions from `first` on may be candidates, the input ends at `inputEnd`, and no
    // position below `linkFrom` is indexed (none exists, or none is in reach).
    void beginBlock(uint32_t first, uint32_t inputEnd, uint32_t linkFrom) {
        indexStart = first;
        end = inputEnd;
        if (linked < linkFrom) linked = linkFrom;
    }

    // Keeps the dictionary and the uncoded look-ahead; the caller lowers its position by BlockSize.
    void slide() {
        const uint32_t kept = dictionarySize + LookAhead;
        std::memmove(window, window + BlockSize, kept);
        slideChain(chains2.previous, kept);
        slideChain(chains3.previous, kept);
        slideChain(chains4.previous, kept);
        slideChain(chains8.previous, kept);
        slideChain(chains16.previous, kept);
        slideChain(following16, kept);
        lowerOffsets(chains2.heads, HashCount);
        lowerOffsets(chains3.heads, WideHashCount);
        lowerOffsets(chains4.heads, WideHashCount);
        lowerOffsets(chains8.heads, WideHashCount);
        lowerOffsets(chains16.heads, WideHashCount);
        lowerOffsets(oldest16, WideHashCount);
        linked = linked > BlockSize ? linked - BlockSize : 0;
    }

    static void slideChain(uint16_t* links, uint32_t kept) {
        std::memmove(links, links + BlockSize, kept * sizeof(uint16_t));
        lowerOffsets(links, kept);
    }

    void linkUpTo(uint32_t stop) {
        for (; linked < stop; ++linked) {
            const uint8_t* bytes = window + linked;
            const uint64_t head = load64(bytes);
            chains2.link(hash2(bytes), linked);
            chains3.link(hash3(head), linked);
            chains4.link(hash4(head), linked);
            chains8.link(hash8(head), linked);
            const uint32_t wide = hash16(head, load64(bytes + 8));
            following16[chains16.heads[wide]] = static_cast<uint16_t>(linked);
            following16[linked] = 0;
            chains16.link(wide, linked);
        }
    }

    static uint32_t commonLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
        uint32_t length = 0;
        while (length + 8 <= limit) {
            uint64_t x = load64(a + length);
            uint64_t y = load64(b + length);
            if (x != y) return length + static_cast<uint32_t>(std::countr_zero(x ^ y)) / 8;
            length += 8;
        }
        while (length < limit && a[length] == b[length]) ++length;
        return length;
    }

    // The longest match among a chain's candidates from `candidate` back to `lowest` that is longer than
    // `shorter`; the nearest of equal ones, since only a strictly longer match replaces the best. Stops
    // once the best reaches `bound`. Length 0 when no candidate is longer than `shorter` (at least 3).
    Match longestInChain(const uint16_t* previous, uint32_t candidate, uint32_t position, uint32_t lowest,
                         uint32_t limit, uint32_t shorter, uint32_t bound) const {
        const uint8_t* s = window + position;
        uint32_t best = shorter;
        uint32_t bestPosition = 0;
        // A candidate must agree on the 4 bytes ending just past the best length to be strictly longer.
        uint32_t probe = load32(s + best - 3);
        for (; candidate >= lowest; candidate = previous[candidate]) {
            const uint8_t* q = window + candidate;
            if (load32(q + best - 3) != probe) continue;
            const uint32_t length = commonLength(q, s, limit);
            if (length > best) {
                best = length;
                bestPosition = candidate;
                if (length >= bound) break;
                probe = load32(s + best - 3);
            }
        }
        if (bestPosition == 0) return Match{0, 0};
        return Match{best, position - bestPosition - 1};
    }

    // The longest match for `position` among positions 2 to dictionarySize - 1 bytes back (and not before
    // the block's index start); among equally long ones the nearest, except that among those reaching 516
    // bytes the farthest wins. Never counts bytes past the input received. Matches shorter than `atLeast`
    // do not matter to the caller and may be reported as length 0.
    //
    // Every candidate sharing 16 (8, 4, 3) bytes with the position lies in its 16-byte (8-, 4-, 3-byte) chain, so
    // when the best length is at least that, all candidates of the best length are there; the chains are
    // tried widest first, and a narrower one is only searched for lengths the wider one ruled out.
    Match find(uint32_t position, uint32_t atLeast = 2) {
        const uint32_t limit = end - position < MaxMatch ? end - position : MaxMatch;
        if (limit < 2 || limit < atLeast) return Match{0, 0};
        linkUpTo(position - 1);
        const uint32_t reach = position - (dictionarySize - 1);
        const uint32_t lowest = reach > indexStart ? reach : indexStart;
        const uint8_t* s = window + position;
        const uint64_t head = load64(s);

        // Most positions of varied input have no candidate sharing 3 or 4 bytes; an empty (or out of reach)
        // narrower chain spares the wider ones.
        const uint32_t head3 = limit >= 3 ? chains3.heads[hash3(head)] : 0;
        const uint32_t head4 = head3 >= lowest && limit >= 4 ? chains4.heads[hash4(head)] : 0;
        if (head4 >= lowest) {
            uint32_t bound = limit;  // no candidate can be longer than this
            if (limit >= 8) {
                const uint32_t head8 = chains8.heads[hash8(head)];
                if (head8 >= lowest) {
                    if (limit >= LongWidth) {
                        const uint32_t wide = hash16(head, load64(s + 8));
                        const uint32_t shorter = atLeast > LongWidth ? atLeast - 1 : LongWidth - 1;
                        Match match = longestInChain(chains16.previous, chains16.heads[wide], position, lowest, limit,
                                                     shorter, bound);
                        if (match.length == MaxMatch) {
                            const uint32_t known = position - match.distanceMinusOne - 1;
                            match.distanceMinusOne = position - farthestFullMatch(wide, known, position, lowest) - 1;
                        }
                        if (match.length != 0 || atLeast >= LongWidth) return match;
                        bound = LongWidth - 1;
                    }
                    const uint32_t shorter = atLeast > 8 ? atLeast - 1 : 7;
                    Match match = longestInChain(chains8.previous, head8, position, lowest, limit, shorter, bound);
                    if (match.length != 0 || atLeast >= 8) return match;
                } else if (atLeast >= 8) {
                    return Match{0, 0};
                }
                bound = 7;
            }
            const uint32_t shorter = atLeast > 4 ? atLeast - 1 : 3;
            Match match = longestInChain(chains4.previous, head4, position, lowest, limit, shorter, bound);
            if (match.length != 0 || atLeast >= 4) return match;
        } else if (atLeast >= 4) {
            return Match{0, 0};
        }
        // No candidate shares more than 3 bytes (or the input ends there): the nearest sharing 3 wins.
        if (limit >= 3) {
            const uint32_t key = static_cast<uint32_t>(head) & 0xFFFFFFu;
            for (uint32_t candidate = head3; candidate >= lowest; candidate = chains3.previous[candidate]) {
                if ((load32(window + candidate) & 0xFFFFFFu) == key) return Match{3, position - candidate - 1};
            }
            if (atLeast >= 3) return Match{0, 0};
        }
        // Likewise the nearest sharing 2; equal two-byte hashes and first bytes mean equal second bytes.
        const uint8_t first = s[0];
        for (uint32_t candidate = chains2.heads[hash2(s)]; candidate >= lowest; candidate = chains2.previous[candidate]) {
            if (window[candidate] == first) return Match{2, position - candidate - 1};
        }
        return Match{0, 0};
    }

    // The farthest candidate in the 16-byte chain `wide` that matches the full 516 bytes; `known` is one.
    // The walk starts from the chain's oldest entry in reach, found through the forward links from the
    // remembered one (or, the first time, by walking back from `known`), and remembered for later searches,
    // whose reach only moves forward.
    uint32_t farthestFullMatch(uint32_t wide, uint32_t known, uint32_t position, uint32_t lowest) {
        uint32_t candidate = oldest16[wide];
        if (candidate == 0 || candidate > known) {
            candidate = known;
            while (chains16.previous[candidate] >= lowest) candidate = chains16.previous[candidate];
        } else {
            while (candidate < lowest) candidate = following16[candidate];
        }
        oldest16[wide] = static_cast<uint16_t>(candidate);
        const uint8_t* s = window + position;
        for (;; candidate = following16[candidate]) {
            const uint8_t* q = window + candidate;
            if (q[MaxMatch - 1] == s[MaxMatch - 1] && commonLength(q, s, MaxMatch) == MaxMatch) return candidate;
        }
    }
};

}  // namespace bxa::compress_detail
