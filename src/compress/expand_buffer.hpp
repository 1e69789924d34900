// In-memory convenience over ExpandStream for tests, tools and benchmarks: no second decoder, only
// callbacks over a byte span and a vector.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace bxa {

// Expands `stream` into `output` (replaced) using a work area allocated for the call. Returns the
// ExpandStream result; with ResultTruncated `output` holds what was written before the input ran out.
int expandBuffer(std::span<const uint8_t> stream, std::vector<uint8_t>& output);

}  // namespace bxa
