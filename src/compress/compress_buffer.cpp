#include "compress/compress_buffer.hpp"

#include <algorithm>
#include <cstring>
#include <memory>

#include "compress/compress_stream.hpp"

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

int compressBuffer(std::span<const uint8_t> input, uint32_t literalMode, uint32_t dictionarySize,
                   std::vector<uint8_t>& stream) {
    stream.clear();
    stream.reserve(input.size() / 2 + 64);
    BufferPair pair{input, 0, &stream};
    auto workArea = std::make_unique<uint8_t[]>(CompressWorkSize);
    int result = CompressStream(readFromSpan, appendToVector, workArea.get(), &pair, &literalMode,
                                &dictionarySize);
    if (result != 0) stream.clear();
    return result;
}

}  // namespace bxa
