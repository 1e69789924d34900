// Any input compresses and expands back to itself, in every literal mode and dictionary size; the first
// byte picks the parameters and the rest is the input. Short inputs are also checked token for token
// against the plain reference search of the unit tests.
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint32_t literalMode = data[0] & 1u;
    const uint32_t dictionarySize = 1024u << ((data[0] >> 1) % 3);
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
