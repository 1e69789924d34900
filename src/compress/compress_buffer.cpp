#include "compress/compress_buffer.hpp"

#include <algorithm>
#include <cstring>
#include <memory>

#include "compress/buffer_callbacks.hpp"
#include "compress/compress_stream.hpp"

namespace bxa {

using buffer_callbacks::appendToVector;
using buffer_callbacks::BufferPair;
using buffer_callbacks::readFromSpan;

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
