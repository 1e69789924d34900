// Any input compresses and expands back to itself, in every literal mode and dictionary size; the first
// byte picks the parameters and the rest is the input. Short inputs are also checked token for token
// against the plain reference search of the unit tests, and the threaded compressor must give the same
// stream: on the input itself, and for one input in sixteen (a tiled input costs hundreds of short ones)
// on a long input tiled from it (periodic with sparse changes), long enough to be cut into parts.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <span>
#include <vector>

#include "compress/compress_buffer.hpp"
#include "compress/expand_buffer.hpp"
#include "compress/engine.hpp"
#include "../../tests/compress/reference_encoder.hpp"

namespace {

// Two parts of the threaded compressor's smallest size and a block more.
constexpr size_t TiledSize = 2 * 64 * 1024 + 4096;

std::vector<uint8_t> tiled(std::span<const uint8_t> unit) {
    std::vector<uint8_t> out(TiledSize + unit.size());
    for (size_t i = 0; i < out.size(); ++i) {
        const size_t copy = i / unit.size();
        out[i] = unit[i % unit.size()];
        if (i % unit.size() == copy % unit.size()) out[i] ^= 0x5A;
    }
    return out;
}

void expectSameWithThreads(std::span<const uint8_t> input, uint32_t literalMode, uint32_t dictionarySize,
                           const std::vector<uint8_t>& expected, unsigned threads) {
    std::vector<uint8_t> stream;
    if (bxa::compressBuffer(input, literalMode, dictionarySize, stream, threads) != bxa::ResultOk) std::abort();
    if (stream != expected) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint32_t literalMode = data[0] & 1u;
    const uint32_t dictionarySize = 1024u << ((data[0] >> 1) % 3);
    const unsigned threads = 2 + ((data[0] >> 3) & 1u);
    const bool tile = (data[0] >> 4) == 0;
    std::span<const uint8_t> input(data + 1, size - 1);

    std::vector<uint8_t> stream;
    if (bxa::compressBuffer(input, literalMode, dictionarySize, stream) != bxa::ResultOk) std::abort();
    if (input.size() <= 2500) {
        const uint32_t dictionaryBits = dictionarySize == 1024 ? 4 : dictionarySize == 2048 ? 5 : 6;
        if (stream != bxa::test::encodeTokens(bxa::test::referenceTokens(input, dictionarySize), literalMode,
                                              dictionaryBits)) {
            std::abort();
        }
    }
    expectSameWithThreads(input, literalMode, dictionarySize, stream, threads);
    if (tile && !input.empty()) {
        const std::vector<uint8_t> longInput = tiled(input);
        std::vector<uint8_t> expected;
        if (bxa::compressBuffer(longInput, literalMode, dictionarySize, expected) != bxa::ResultOk) std::abort();
        expectSameWithThreads(longInput, literalMode, dictionarySize, expected, threads);
    }

    std::vector<uint8_t> output;
    int result = bxa::expandBuffer(stream, output);
    if (input.empty()) {
        // Header and end symbol alone are four bytes: too short for the expander.
        if (result != bxa::ResultShortInput) std::abort();
        return 0;
    }
    if (result != bxa::ResultOk) std::abort();
    if (output.size() != input.size() || !std::equal(output.begin(), output.end(), input.begin())) std::abort();
    return 0;
}
