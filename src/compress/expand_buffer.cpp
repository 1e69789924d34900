#include "compress/expand_buffer.hpp"

#include <algorithm>
#include <cstring>
#include <memory>

#include "compress/expand_stream.hpp"

namespace bxa {
namespace {

struct BufferPair {
    std::span<const uint8_t> input;
    size_t inputPosition = 0;
    std::vector<uint8_t>* output = nullptr;
};

uint32_t readFromSpan(uint8_t* buffer, uint32_t* size, void* parameter) {
    auto* pair = static_cast<BufferPair*>(parameter);
    size_t count = std::min<size_t>(*size, pair->input.size() - pair->inputPosition);
    if (count != 0) std::memcpy(buffer, pair->input.data() + pair->inputPosition, count);
    pair->inputPosition += count;
    return static_cast<uint32_t>(count);
}

void appendToVector(uint8_t* buffer, uint32_t* size, void* parameter) {
    auto* pair = static_cast<BufferPair*>(parameter);
    pair->output->insert(pair->output->end(), buffer, buffer + *size);
}

}  // namespace

int expandBuffer(std::span<const uint8_t> stream, std::vector<uint8_t>& output) {
    output.clear();
    BufferPair pair{stream, 0, &output};
    auto workArea = std::make_unique<uint8_t[]>(ExpandWorkSize);
    return ExpandStream(readFromSpan, appendToVector, workArea.get(), &pair);
}

}  // namespace bxa
