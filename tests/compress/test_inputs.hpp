// Deterministic inputs shared by the compressor's tests: text, table rows, random bytes over an alphabet,
// runs, fixed-size records and periodic data.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace bxa::test::inputs {

inline std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

inline std::vector<uint8_t> randomBytes(size_t size, uint32_t seed, uint32_t alphabet = 256) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(size);
    for (auto& b : out) b = static_cast<uint8_t>(rng() % alphabet);
    return out;
}

inline std::vector<uint8_t> textLike(size_t size, uint32_t seed) {
    static const char* const words[] = {"vertex", "face", "bitmap", "entity", "the", "of", "and", "index",
                                        "0.500000", "-1.250000", "name", "a", "record", "table", "12", "7"};
    std::mt19937 rng(seed);
    std::string text;
    while (text.size() < size) {
        text += words[rng() % 16];
        auto r = rng() % 10;
        text += r < 6 ? " " : r < 8 ? "," : "\r\n";
    }
    text.resize(size);
    return bytesOf(text);
}

// Rows of a table of placed objects: ids, names and coordinates with random digits, so that most matches
// are short (the search's narrow way costs least here).
inline std::vector<uint8_t> tableRows(size_t size, uint32_t seed) {
    static const char* const names[] = {"oak_table", "lamp", "door_frame", "window", "crate", "barrel"};
    std::mt19937 rng(seed);
    std::string text;
    char row[96];
    for (uint32_t id = 0; text.size() < size; ++id) {
        const std::mt19937::result_type draw[5] = {rng(), rng(), rng(), rng(), rng()};
        std::snprintf(row, sizeof row, "%u,%s,%u.%02u,%u.%02u,%d\r\n", id, names[draw[0] % 6],
                      static_cast<unsigned>(draw[1] % 1000), static_cast<unsigned>(draw[2] % 100),
                      static_cast<unsigned>(draw[3] % 1000), static_cast<unsigned>(draw[4] % 100),
                      static_cast<int>(draw[0] % 4) * 90);
        text += row;
    }
    text.resize(size);
    return bytesOf(text);
}

// `size` bytes of records that `next` appends one at a time from the generator.
template <typename Next>
std::vector<uint8_t> recordsFrom(size_t size, uint32_t seed, Next next) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out;
    while (out.size() < size) next(rng, out);
    out.resize(size);
    return out;
}

inline std::vector<uint8_t> vertexRecords(size_t size, uint32_t seed) {
    // float32 vertex records on a coarse grid: crowded two-byte buckets and long matches at many distances.
    return recordsFrom(size, seed, [](std::mt19937& rng, std::vector<uint8_t>& out) {
        float record[8] = {static_cast<float>(rng() % 64) * 0.25f, static_cast<float>(rng() % 16) * 0.5f,
                           static_cast<float>(rng() % 64) * 0.25f, 0.0f, 1.0f, 0.0f,
                           static_cast<float>(rng() % 9) * 0.125f, static_cast<float>(rng() % 3) * 0.5f};
        uint8_t raw[sizeof record];
        std::memcpy(raw, record, sizeof record);
        out.insert(out.end(), raw, raw + sizeof raw);
    });
}

inline std::vector<uint8_t> runs(size_t size, uint32_t seed) {
    return recordsFrom(size, seed, [](std::mt19937& rng, std::vector<uint8_t>& out) {
        const auto value = static_cast<uint8_t>(rng() % 3);
        const size_t length = 1 + rng() % (rng() % 4 == 0 ? 1500 : 20);
        out.insert(out.end(), length, value);
    });
}

inline std::vector<uint8_t> records(size_t size, uint32_t seed) {
    // Fixed-size records of small integers and repeated fields: long matches at many distances.
    return recordsFrom(size, seed, [](std::mt19937& rng, std::vector<uint8_t>& out) {
        uint8_t record[20] = {};
        for (int i = 0; i < 3; ++i) record[i * 4 + 2] = static_cast<uint8_t>(rng() % 4);
        record[12] = static_cast<uint8_t>(rng() % 2);
        out.insert(out.end(), record, record + 20);
    });
}

inline std::vector<uint8_t> periodic(size_t size, size_t period, uint32_t seed, size_t mutateEvery = 0) {
    std::vector<uint8_t> unit = randomBytes(period, seed, 256);
    std::vector<uint8_t> out(size);
    std::mt19937 rng(seed);
    for (size_t i = 0; i < size; ++i) out[i] = unit[i % period];
    if (mutateEvery != 0) {
        for (size_t i = mutateEvery / 2; i < size; i += mutateEvery - rng() % (mutateEvery / 2)) out[i] ^= 0x5A;
    }
    return out;
}

// Long runs of 0 or 1 that stop for a little noise and start again, appended to `out` until it holds at
// least `size` bytes: full-length matches that end and resume, in later blocks.
inline void appendBrokenRuns(std::vector<uint8_t>& out, size_t size, std::mt19937& rng) {
    while (out.size() < size) {
        size_t run = 200 + rng() % 3000;
        out.insert(out.end(), run, static_cast<uint8_t>(rng() % 2));
        std::vector<uint8_t> noise = randomBytes(1 + rng() % 40, static_cast<uint32_t>(rng()), 256);
        out.insert(out.end(), noise.begin(), noise.end());
    }
}

// Pieces of the last 3000 bytes of `out` (text, say), copied on with one stray byte after each, until it
// holds at least `size` bytes: matches of every length from 2 to 516 at many distances.
inline void appendEditedRepeats(std::vector<uint8_t>& out, size_t size, std::mt19937& rng) {
    const size_t source = out.size() - 3000;
    while (out.size() < size) {
        size_t from = rng() % 2900;
        size_t length = 1 + rng() % (rng() % 3 == 0 ? 700 : 60);
        length = std::min(length, static_cast<size_t>(3000 - from));
        out.insert(out.end(), out.begin() + static_cast<long>(source + from),
                   out.begin() + static_cast<long>(source + from + length));
        out.push_back(static_cast<uint8_t>(rng()));
    }
}

}  // namespace bxa::test::inputs
