// In-memory convenience over CompressStream for tests, tools and benchmarks: no second encoder, only
// callbacks over a byte span and a vector.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace bxa {

// Compresses `input` into `stream` (replaced) using a work area allocated for the call. Returns the
// CompressStream result; `stream` is empty unless it is ResultOk.
int compressBuffer(std::span<const uint8_t> input, uint32_t literalMode, uint32_t dictionarySize,
                   std::vector<uint8_t>& stream);

}  // namespace bxa
