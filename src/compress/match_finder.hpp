// The compressor's window and match search. Internal to the compression engine; it lives in the work area
// and allocates nothing.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "compress/code_tables.hpp"

namespace bxa::compress_detail {

// The chain hashes read the bytes of a position as one little-endian word and keep its low bytes.
static_assert(std::endian::native == std::endian::little, "the chain hashes assume little-endian loads");

inline constexpr uint32_t BlockSize = 4096;
inline constexpr uint32_t MaxDictionarySize = 4096;
// A match is at most 516 bytes long, so a block holds back its last 516 bytes until the next one arrives;
// every match that starts below the block's limit then finds all the bytes it may cover.
inline constexpr uint32_t MaxMatch = codes::LongestSentMatch;
inline constexpr uint32_t LookAhead = MaxMatch;
// Bytes a block needs before its new ones: the previous block's uncoded look-ahead and, before that, the
// dictionary.
inline constexpr uint32_t HistoryBytes = LookAhead + MaxDictionarySize;
// The window holds the history and then blocks one after another; when the next block would not fit,
// everything moves down by SlideDistance, which keeps the last HistoryBytes. Moving rarely keeps the cost
// of the move and of lowering the stored offsets small beside the coding: as many blocks as 16-bit offsets
// allow.
inline constexpr uint32_t BlocksPerSlide = 14;
inline constexpr uint32_t SlideDistance = BlocksPerSlide * BlockSize;
inline constexpr uint32_t WindowBytes = HistoryBytes + SlideDistance;
// Longest key of the chains; the window keeps this many spare bytes so that hashing a position near the
// end of the input never reads outside the work area (the bytes past the input only add collisions).
inline constexpr uint32_t SpareBytes = 32;
static_assert(WindowBytes + SpareBytes <= 65536, "window offsets are stored in 16 bits");
// Every chain link of a position is kept in a ring slot: a search reaches at most MaxDictionarySize - 1
// bytes back and links only positions at least 2 bytes back, so no slot in reach is reused before the
// search that needs it. Moves keep slots in place, since they go by whole rings.
inline constexpr uint32_t RingSize = 4096;
static_assert(RingSize >= MaxDictionarySize && SlideDistance % RingSize == 0,
              "ring slots must outlive the reach");
// Farthest back a 2-byte match is coded from (farther ones would cost more than two literals).
inline constexpr uint32_t ShortMatchReach = 256;

struct Match {
    uint32_t length;  // 0: no match worth coding
    uint32_t distanceMinusOne;
};

inline uint32_t load16(const uint8_t* bytes) {
    uint16_t value;
    std::memcpy(&value, bytes, 2);
    return value;
}

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

// Asks for the cache line at `address` ahead of its use; only a hint, which changes no result.
inline void prefetch(const void* address) {
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

// Lowers window offsets by SlideDistance after the window move; offsets that fall out of the window become
// 0. A saturating subtraction, one vector instruction per eight offsets.
inline void lowerOffsets(uint16_t* values, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t value = values[i];
        values[i] = static_cast<uint16_t>(value >= SlideDistance ? value - SlideDistance : 0);
    }
}

// Positions chained by a key of their first bytes, newest first, Lanes to a link: each key keeps its Lanes
// newest positions and each position the Lanes next older ones of its key (all 16-bit window offsets in
// one word, the newest in the low bits), so a walk waits for one load per Lanes candidates. Linking costs
// one load and two stores whatever the lanes. Window offset 0 means "none": every searched range starts
// above it (the oldest position a search may reach is at least 1), so a walk ends on it like on any
// position too far back, and the window move maps every dropped position to it.
template <uint32_t KeyCount, uint32_t Lanes>
struct LinkedChains {
    static_assert(Lanes == 1 || Lanes == 4, "one or four offsets to a word");
    using Group = std::conditional_t<Lanes == 1, uint16_t, uint64_t>;

    uint16_t heads[Lanes * KeyCount];
    uint16_t older[Lanes * RingSize];

    // The group at `index` of `lanes`, addressed in bytes so that the index scales in the address.
    static Group load(const uint16_t* lanes, size_t index) {
        Group group;
        std::memcpy(&group, reinterpret_cast<const unsigned char*>(lanes) + sizeof(Group) * index, sizeof(group));
        return group;
    }
    static void store(uint16_t* lanes, size_t index, Group group) {
        std::memcpy(reinterpret_cast<unsigned char*>(lanes) + sizeof(Group) * index, &group, sizeof(group));
    }
    static uint32_t lane(Group group, uint32_t index) {
        return static_cast<uint32_t>(group >> (16 * index)) & 0xFFFFu;
    }

    Group newest(uint32_t key) const { return load(heads, key); }
    void prefetchNewest(uint32_t key) const { prefetch(heads + Lanes * key); }
    Group olderThan(uint32_t position) const { return load(older, position % RingSize); }
    void link(uint32_t key, uint32_t position) {
        const Group group = newest(key);
        store(older, position % RingSize, group);
        store(heads, key, static_cast<Group>(Lanes == 1 ? position : (uint64_t{group} << 16) | position));
    }
    void clear() { std::memset(heads, 0, sizeof(heads)); }
    void lower() {
        lowerOffsets(heads, Lanes * KeyCount);
        lowerOffsets(older, Lanes * RingSize);
    }

    // Calls visit(candidate) for the candidates from the newest of `group` back to `lowest`, newest first,
    // until visit returns false. Returns the candidates of the links walked past (a measure of cost,
    // counted by whole links). Written out lane by lane: this loop is most of the search.
    template <typename Visit>
    uint32_t walk(Group group, uint32_t lowest, Visit&& visit) const {
        uint32_t passed = 0;
        for (;;) {
            // The next group is fetched before this one is visited; any slot may be read.
            const Group next = olderThan(lane(group, Lanes - 1));
#pragma GCC unroll 4
            for (uint32_t index = 0; index < Lanes; ++index) {
                const uint32_t candidate = lane(group, index);
                if (candidate < lowest) return passed;
                if (!visit(candidate)) return passed;
            }
            group = next;
            passed += Lanes;
        }
    }
};

// Single links with forward links beside them, for walking a chain from its oldest entry in reach. The
// forward links keep twice the reach, so that an entry remembered as the oldest in reach by one search
// still leads forward at the next, which is usually one full-length match (516 bytes) later.
inline constexpr uint32_t ForwardRingSize = 2 * RingSize;
static_assert(SlideDistance % ForwardRingSize == 0, "moves must keep forward slots in place");

template <uint32_t KeyCount>
struct ForwardChains {
    uint16_t heads[KeyCount];
    uint16_t previous[RingSize];
    uint16_t following[ForwardRingSize];  // next newer position of the same key, 0 while there is none
    uint16_t oldest[KeyCount];            // per key: an entry at or before its oldest one in reach, or 0

    uint32_t next(uint32_t position) const { return previous[position % RingSize]; }
    uint32_t newer(uint32_t position) const { return following[position % ForwardRingSize]; }
    // True while `entry` still owns its forward slot, when `linked` is the next position to be linked.
    static bool ownsSlot(uint32_t entry, uint32_t linked) { return entry + ForwardRingSize > linked; }
    // `position` comes after every linked position.
    void link(uint32_t key, uint32_t position) {
        // The newest entry gets its forward link while it still owns its slot; one that lost it is out of
        // reach.
        const uint32_t newest = heads[key];
        if (newest != 0 && ownsSlot(newest, position))
            following[newest % ForwardRingSize] = static_cast<uint16_t>(position);
        following[position % ForwardRingSize] = 0;
        previous[position % RingSize] = static_cast<uint16_t>(newest);
        heads[key] = static_cast<uint16_t>(position);
    }
    void clear() {
        std::memset(heads, 0, sizeof(heads));
        std::memset(oldest, 0, sizeof(oldest));
    }
    void lower() {
        lowerOffsets(heads, KeyCount);
        lowerOffsets(previous, RingSize);
        lowerOffsets(following, ForwardRingSize);
        lowerOffsets(oldest, KeyCount);
    }
};

// The search keeps two chains up to date at every position as the coding passes it (so none holds a
// position less than 2 bytes back), and three indexes linked only when a search needs them:
//  - the newest position of each hash of two bytes: the nearest sharing 2 bytes when none shares 3. Kept
//    up to date with the chains while the 4-byte chains are searched alone (on text, which often needs
//    it); in the wide way (on records, which seldom get that far) only a search that needs it catches it
//    up, over the positions a coded 2-byte match may come from;
//  - chains by a hash of 3 bytes: the nearest sharing 3 bytes when none shares 4;
//  - chains by a hash of 4 bytes, four to a link: every candidate sharing 4 or more;
//  - the wide way, searched first while that has lately cost less than walking the 4-byte chains alone
//    (on data of many repeated fields it saves many steps per search, on text it saves little and costs
//    a link per position): chains by a hash of 8 bytes, four to a link, of every candidate sharing 8 or
//    more. Shorter matches come from the 4-byte chains, whose walk a probe of the bytes just past the
//    best length keeps cheap: a chain of 5 bytes as well costs more to link than it saves;
//  - chains by a hash of 16 bytes, with forward links: only to find the farthest full-length match.
// Hash collisions only add candidates, which the byte tests reject. A lazy chain catches up from the
// oldest position a search may still reach, which never moves back.
struct MatchFinder {
    static constexpr uint32_t PairBits = 13;
    static constexpr uint32_t Hash3Bits = 14;
    static constexpr uint32_t Hash4Bits = 14;
    static constexpr uint32_t Hash8Bits = 12;
    static constexpr uint32_t Hash16Bits = 12;
    // Which way to search is decided by cost: the candidates visited in the walked chains, plus the
    // positions linked for the wide way and WideSearchCost per search that reads the wide way's heads
    // (all in visits), summed over periods of PeriodSearches searches and averaged per way over its last
    // few periods (the way not in use over the period that last tried it). The way in use changes only
    // when the other costs less by an eighth; the other is tried again after FirstProbe periods, and after
    // twice as many each time a try leaves the way as it was (up to LastProbe), but at once when the way
    // in use comes to cost clearly more or less than at the last try (the data has changed). Catching
    // up more than CatchUp positions at once is setting up, not counted.
    static constexpr uint32_t PeriodSearches = 256;
    static constexpr uint32_t FirstProbe = 16;
    static constexpr uint32_t LastProbe = 256;
    static constexpr uint32_t WideSearchCost = 4;
    static constexpr uint32_t CatchUp = 64;

    uint32_t dictionarySize;
    uint32_t end;         // window offset just past the input received so far
    uint32_t indexStart;  // no candidate below this offset in the current block
    uint32_t linked;      // next position to index in the indexes kept up to date
    uint32_t linkedWide;
    uint32_t linked16;
    uint32_t linkedPairs;
    bool wide;                // the wide way is searched first
    uint32_t periodSearches;  // searches in the current period
    uint32_t probeAfter;      // periods until the other way is tried again
    uint32_t probeInterval;
    uint32_t periodCost;
    uint32_t averageCost[2];  // per way: recent periods' costs, each weighing a quarter of the last,
                              // or the cost of the period that last tried it
    bool probing;             // the current period tries the way not in use
    uint32_t settledCost;     // the way in use's average when the ways were last compared (0: not yet)
    // Whether the wide way's chains (the 16-byte chains) hold only positions of this stream. They are
    // emptied when next linked after the stream starts or after a window move that keeps none of their
    // positions, so that a stream that never needs them (every short one) never clears them.
    bool wideReady;
    bool fullReady;
    // Holds nothing of use: reading the next position's 4-byte heads early lets a cache miss on them
    // overlap the current search.
    uint64_t touchedHeads;
    uint16_t pairs[1u << PairBits];
    LinkedChains<1u << Hash3Bits, 1> chains3;
    LinkedChains<1u << Hash4Bits, 4> chains4;
    LinkedChains<1u << Hash8Bits, 4> chains8;
    ForwardChains<1u << Hash16Bits> chains16;
    uint8_t window[WindowBytes + SpareBytes];

    static uint32_t hash2(uint64_t head) {
        return ((static_cast<uint32_t>(head) & 0xFFFFu) * 0x9E3779B1u) >> (32 - PairBits);
    }
    static uint32_t hash3(uint64_t head) {
        return static_cast<uint32_t>(((head << 40) * 0x9E3779B97F4A7C15ull) >> (64 - Hash3Bits));
    }
    static uint32_t hash4(uint64_t head) {
        return static_cast<uint32_t>(((head << 32) * 0x9E3779B97F4A7C15ull) >> (64 - Hash4Bits));
    }
    static uint32_t hash8(uint64_t head) {
        return static_cast<uint32_t>((head * 0x9E3779B97F4A7C15ull) >> (64 - Hash8Bits));
    }
    static uint32_t hash16(const uint8_t* bytes) {
        return static_cast<uint32_t>(
            ((load64(bytes) ^ std::rotl(load64(bytes + 8), 29)) * 0x9E3779B97F4A7C15ull) >>
            (64 - Hash16Bits));
    }

    void reset(uint32_t size) {
        dictionarySize = size;
        end = 0;
        linked = 0;
        linkedWide = 0;
        linked16 = 0;
        linkedPairs = 0;
        wide = false;
        periodSearches = 0;
        probeAfter = FirstProbe;
        probeInterval = FirstProbe;
        periodCost = 0;
        averageCost[0] = 0;
        averageCost[1] = 0;
        probing = false;
        settledCost = 0;
        touchedHeads = 0;
        // Only the bytes before the first block are read before the coding writes them; those past the
        // input are cleared as each block opens.
        std::memset(window, 0, HistoryBytes);
        std::memset(pairs, 0, sizeof(pairs));
        chains3.clear();
        chains4.clear();
        wideReady = false;
        fullReady = false;
    }

    // Opens a block: positions from `first` on may be candidates, the input ends at `inputEnd`, and no
    // position below `linkFrom` is indexed (none exists, or none is in reach).
    void beginBlock(uint32_t first, uint32_t inputEnd, uint32_t linkFrom) {
        indexStart = first;
        end = inputEnd;
        // Hashes near the end of the input read up to SpareBytes past it; they read zeros.
        std::memset(window + inputEnd, 0, SpareBytes);
        // The pair table moves on with the chains, so that it stays in step with them while it is. The wide
        // and 16-byte chains start each catch-up at the search's reach, never below `linkFrom`, so their
        // counts stay where they were really linked, which the window move reads.
        if (linked < linkFrom) linked = linkFrom;
        if (linkedPairs < linkFrom) linkedPairs = linkFrom;
    }

    // After the window move: lazy chains linked up to `linkedUpTo` are lowered when they hold a position
    // the move keeps; otherwise they are left to be emptied when next linked, which costs less than
    // lowering every offset in them to 0. Returns whether they are ready.
    template <typename... Chains>
    static bool lowerLazy(bool ready, uint32_t linkedUpTo, Chains&... chains) {
        if (!ready || linkedUpTo <= SlideDistance) return false;
        (chains.lower(), ...);
        return true;
    }

    // Moves the last HistoryBytes bytes before offset WindowBytes down to offset 0; the caller lowers its
    // offsets by SlideDistance.
    void slide() {
        std::memmove(window, window + SlideDistance, HistoryBytes);
        lowerOffsets(pairs, 1u << PairBits);
        chains3.lower();
        chains4.lower();
        wideReady = lowerLazy(wideReady, linkedWide, chains8);
        fullReady = lowerLazy(fullReady, linked16, chains16);
        linked = linked > SlideDistance ? linked - SlideDistance : 0;
        linkedWide = linkedWide > SlideDistance ? linkedWide - SlideDistance : 0;
        linked16 = linked16 > SlideDistance ? linked16 - SlideDistance : 0;
        linkedPairs = linkedPairs > SlideDistance ? linkedPairs - SlideDistance : 0;
    }

    void linkUpTo(uint32_t stop) {
        if (!wide && linkedPairs == linked) {
            linkNarrowUpTo<true>(stop);
            linkedPairs = linked;
        } else {
            linkNarrowUpTo<false>(stop);
        }
    }

    template <bool WithPairs>
    void linkNarrowUpTo(uint32_t stop) {
        // A local count: the stores through byte copies could otherwise alias it.
        uint32_t next = linked;
        for (; next < stop; ++next) {
            const uint64_t head = load64(window + next);
            if constexpr (WithPairs) linkPair(head, next);
            chains3.link(hash3(head), next);
            chains4.link(hash4(head), next);
        }
        if (next > linked) linked = next;
    }

    void linkPair(uint64_t head, uint32_t position) { pairs[hash2(head)] = static_cast<uint16_t>(position); }

    void linkPairsUpTo(uint32_t stop, uint32_t lowest) {
        uint32_t next = linkedPairs > lowest ? linkedPairs : lowest;
        for (; next < stop; ++next) linkPair(load16(window + next), next);
        if (next > linkedPairs) linkedPairs = next;
    }

    void linkWideUpTo(uint32_t stop, uint32_t lowest) {
        if (!wideReady) {
            chains8.clear();
            wideReady = true;
        }
        uint32_t next = linkedWide > lowest ? linkedWide : lowest;
        if (stop > next && stop - next <= CatchUp) periodCost += stop - next;
        for (; next < stop; ++next) chains8.link(hash8(load64(window + next)), next);
        if (next > linkedWide) linkedWide = next;
    }

    void link16UpTo(uint32_t stop, uint32_t lowest) {
        if (!fullReady) {
            chains16.clear();
            fullReady = true;
        }
        if (linked16 < lowest) linked16 = lowest;
        for (; linked16 < stop; ++linked16) chains16.link(hash16(window + linked16), linked16);
    }

    // Counts one search that visited `steps` candidates in the walked chains; at the end of a
    // period, picks the way to search the next one.
    void countSearch(uint32_t steps) {
        periodCost += steps;
        if (++periodSearches < PeriodSearches) return;
        // A probe's period is the only recent measure of the way tried: it replaces what that way cost
        // before, which may have been measured on other data.
        uint32_t& average = averageCost[wide];
        average = average == 0 || probing ? periodCost : average - average / 4 + periodCost / 4;
        periodCost = 0;
        periodSearches = 0;
        // After a probe, `wide` is the way tried; the way in use before it is the other.
        const bool inUse = probing ? !wide : wide;
        const uint32_t used = averageCost[inUse];
        const uint32_t other = averageCost[!inUse];
        const bool change = other == 0 || other < used - used / 8;
        // The data has changed when the way in use costs a quarter more or less than when the ways were
        // last compared (and half a visit a search or more: on data with few candidates a period costs a
        // handful of visits, which vary by more than a quarter); the other is then tried at once.
        bool drifted = false;
        if (!change && !probing) {
            if (settledCost == 0) {
                settledCost = used;
            } else {
                const uint32_t margin = std::max(settledCost / 4, PeriodSearches / 2);
                drifted = used > settledCost + margin || used + margin < settledCost;
            }
        }
        if (change || drifted) {
            probeInterval = FirstProbe;
        } else if (probing) {
            probeInterval = probeInterval < LastProbe ? 2 * probeInterval : LastProbe;
        }
        if (change || probing) {
            probeAfter = probeInterval;
            settledCost = change ? other : used;
        }
        probing = !change && (drifted || --probeAfter == 0);
        wide = change || probing ? !inUse : inUse;
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

    // The longest match among a chain's candidates from `group` back to `lowest` that is longer than
    // `shorter`; the nearest of equal ones, since only a strictly longer match replaces the best. Stops
    // once the best reaches `bound`. Length 0 when no candidate is longer than `shorter` (at least 3).
    // Adds the candidates of the links walked past to `steps` (a measure of cost, counted by whole links).
    template <typename Chain>
    Match longestInChain(const Chain& chain, typename Chain::Group group, uint32_t position, uint32_t lowest,
                         uint32_t limit, uint32_t shorter, uint32_t bound, uint32_t& steps) const {
        const uint8_t* s = window + position;
        uint32_t best = shorter;
        uint32_t bestPosition = 0;
        // A candidate must agree on the 4 bytes ending just past the best length to be strictly longer:
        // candidate c's bytes there are at probed + c.
        uint32_t probe = load32(s + best - 3);
        const uint8_t* probed = window + best - 3;
        steps += chain.walk(group, lowest, [&](uint32_t candidate) {
            if (load32(probed + candidate) != probe) [[likely]] return true;
            const uint32_t length = commonLength(window + candidate, s, limit);
            if (length <= best) return true;
            best = length;
            bestPosition = candidate;
            probe = load32(s + best - 3);
            probed = window + best - 3;
            return length < bound;
        });
        if (bestPosition == 0) return Match{0, 0};
        return Match{best, position - bestPosition - 1};
    }

    // The farthest candidate in reach that matches the full 516 bytes; `known` is one. The walk starts
    // from the 16-byte chain's oldest entry in reach, found through the forward links from the remembered
    // one (or, when that is gone, by walking back from `known`), and remembered for later searches, whose
    // reach only moves forward.
    uint32_t farthestFullMatch(uint32_t known, uint32_t position, uint32_t lowest) {
        link16UpTo(position - 1, lowest);
        const uint32_t key = hash16(window + position);
        uint32_t candidate = chains16.oldest[key];
        if (candidate == 0 || candidate > known || !chains16.ownsSlot(candidate, linked16)) {
            candidate = known;
            while (chains16.next(candidate) >= lowest) candidate = chains16.next(candidate);
        } else {
            while (candidate < lowest) candidate = chains16.newer(candidate);
        }
        chains16.oldest[key] = static_cast<uint16_t>(candidate);
        const uint8_t* s = window + position;
        for (;; candidate = chains16.newer(candidate)) {
            const uint8_t* q = window + candidate;
            if (q[MaxMatch - 1] == s[MaxMatch - 1] && commonLength(q, s, MaxMatch) == MaxMatch)
                return candidate;
        }
    }

    // The 4-byte chains' part of find the wide way, for at least 8 bytes of input left: the longest
    // sharing 8 or more, else the longest sharing 4 to 7 (no candidate in the 4-byte chains is longer).
    Match searchWide(uint32_t position, uint32_t lowest, uint32_t limit, uint32_t atLeast, uint64_t head,
                     uint64_t group4, uint32_t& steps) {
        chains8.prefetchNewest(hash8(head));
        linkWideUpTo(position - 1, lowest);
        const Match match = longestInChain(chains8, chains8.newest(hash8(head)), position, lowest, limit,
                                           atLeast > 8 ? atLeast - 1 : 7, limit, steps);
        if (match.length != 0 || atLeast >= 8) return match;
        return longestInChain(chains4, group4, position, lowest, limit, atLeast > 4 ? atLeast - 1 : 3, 7, steps);
    }

    // The longest match for `position` among positions 2 to dictionarySize - 1 bytes back (and not before
    // the block's index start); among equally long ones the nearest, except that among those reaching 516
    // bytes the farthest wins. Never counts bytes past the input received. Matches shorter than `atLeast`
    // do not matter to the caller and may be reported as length 0, and so may matches of 2 bytes from more
    // than ShortMatchReach bytes back, which are never coded.
    //
    // Every candidate sharing 8 (4, 3) bytes with the position lies in its 8-byte (4-, 3-byte) chain, so
    // when the best length is at least that, all candidates of the best length are there; a wider chain
    // searched first leaves a narrower one only the lengths it ruled out.
    Match find(uint32_t position) { return search<true>(position, 2); }
    // find for a look-ahead, which needs only matches of `atLeast` bytes or more (at least 3).
    Match findLonger(uint32_t position, uint32_t atLeast) { return search<false>(position, atLeast); }

    // find; with `Fresh` false the narrower indexes, which only matches shorter than 4 bytes come from,
    // are not read ahead (a look-ahead seldom gets that far).
    template <bool Fresh>
    Match search(uint32_t position, uint32_t atLeast) {
        const uint32_t limit = end - position < MaxMatch ? end - position : MaxMatch;
        if (limit < 2 || limit < atLeast) return Match{0, 0};
        const uint8_t* s = window + position;
        const uint64_t head = load64(s);
        // The heads read first are fetched while the positions before this one are linked (linking may
        // change what they hold, not where they are).
        chains4.prefetchNewest(hash4(head));
        if (Fresh) chains3.prefetchNewest(hash3(head));
        linkUpTo(position - 1);
        const uint32_t reach = position - (dictionarySize - 1);
        const uint32_t lowest = reach > indexStart ? reach : indexStart;
        touchedHeads ^= chains4.newest(hash4(load64(s + 1)));
        // The narrower indexes are read before the 4-byte walk, whose outcome they usually wait on.
        const uint32_t newest3 = Fresh ? chains3.newest(hash3(head)) : 0;

        if (limit >= 4) {
            const uint64_t group4 = chains4.newest(hash4(head));
            if ((group4 & 0xFFFFu) >= lowest) {
                Match match{0, 0};
                uint32_t steps = 0;
                const uint32_t shorter = atLeast > 4 ? atLeast - 1 : 3;
                if (limit >= 8 && wide) {
                    steps += WideSearchCost;
                    match = searchWide(position, lowest, limit, atLeast, head, group4, steps);
                } else {
                    match = longestInChain(chains4, group4, position, lowest, limit, shorter, limit, steps);
                }
                countSearch(steps);
                if (match.length == MaxMatch) {
                    const uint32_t known = position - match.distanceMinusOne - 1;
                    match.distanceMinusOne = position - farthestFullMatch(known, position, lowest) - 1;
                }
                if (match.length != 0 || atLeast >= 4) return match;
            } else if (atLeast >= 4) {
                return Match{0, 0};
            }
        }
        // No candidate shares more than 3 bytes (or the input ends within 3): the nearest sharing 3 wins,
        // else the nearest sharing 2 if it is near enough to be coded.
        if (limit >= 3) {
            const uint32_t key = static_cast<uint32_t>(head) & 0xFFFFFFu;
            uint32_t nearest = 0;
            const uint16_t first3 = Fresh ? static_cast<uint16_t>(newest3) : chains3.newest(hash3(head));
            chains3.walk(first3, lowest, [&](uint32_t candidate) {
                if ((load32(window + candidate) & 0xFFFFFFu) != key) return true;
                nearest = candidate;
                return false;
            });
            if (nearest != 0) return Match{3, position - nearest - 1};
            if (atLeast >= 3) return Match{0, 0};
        }
        // The slot holds the newest position from `near` on whose pair has its hash: the nearest with this
        // pair if it has it, else any nearer one lies below it (a byte scan, at most ShortMatchReach long).
        // A slot no position from `near` on has set holds one below it, or 0.
        const uint32_t near = position - ShortMatchReach > lowest ? position - ShortMatchReach : lowest;
        const uint32_t pair = static_cast<uint32_t>(head) & 0xFFFFu;
        linkPairsUpTo(position - 1, near);
        for (uint32_t candidate = pairs[hash2(pair)]; candidate >= near; --candidate) {
            if (load16(window + candidate) == pair) return Match{2, position - candidate - 1};
        }
        return Match{0, 0};
    }
};

}  // namespace bxa::compress_detail
