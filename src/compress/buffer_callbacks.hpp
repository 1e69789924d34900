// The callbacks of the in-memory helpers: read from a span, append to a vector. Header-only, so that the
// decoder's helper builds without the encoder and the encoder's without the decoder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace bxa::buffer_callbacks {

struct BufferPair {
    std::span<const uint8_t> input;
    size_t inputPosition = 0;
    std::vector<uint8_t>* output = nullptr;
};

inline uint32_t readFromSpan(uint8_t* buffer, uint32_t* size, void* parameter) {
    auto* pair = static_cast<BufferPair*>(parameter);
    size_t count = std::min<size_t>(*size, pair->input.size() - pair->inputPosition);
    if (count != 0) std::memcpy(buffer, pair->input.data() + pair->inputPosition, count);
    pair->inputPosition += count;
    return static_cast<uint32_t>(count);
}

inline void appendToVector(uint8_t* buffer, uint32_t* size, void* parameter) {
    auto* pair = static_cast<BufferPair*>(parameter);
    pair->output->insert(pair->output->end(), buffer, buffer + *size);
}

}  // namespace bxa::buffer_callbacks
