// Any input compresses and expands back to itself, in every literal mode and dictionary size; the first
// byte picks the parameters and the rest is the input.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <span>
#include <vector>

#include "compress/compress_buffer.hpp"
#include "compress/expand_buffer.hpp"
#include "compress/engine.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint32_t literalMode = data[0] & 1u;
    const uint32_t dictionarySize = 1024u << ((data[0] >> 1) % 3);
    std::span<const uint8_t> input(data + 1, size - 1);

    std::vector<uint8_t> stream;
    if (bxa::compressBuffer(input, literalMode, dictionarySize, stream) != bxa::ResultOk) std::abort();
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
