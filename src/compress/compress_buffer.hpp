// In-memory convenience over CompressStream for tests, tools and benchmarks: no second encoder, only
// callbacks over a byte span and a vector.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace bxa {

// Compresses `input` into `stream` (replaced) with CompressStreamParallel on `threadCount` threads (the
// stream is the same for every count), using a work area allocated for the call. Returns the
// CompressStream result; `stream` is empty unless it is ResultOk.
int compressBuffer(std::span<const uint8_t> input, uint32_t literalMode, uint32_t dictionarySize,
                   std::vector<uint8_t>& stream, unsigned threadCount = 1);

}  // namespace bxa
