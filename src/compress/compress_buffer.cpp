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
                   std::vector<uint8_t>& stream, unsigned threadCount) {
    stream.clear();
    stream.reserve(input.size() / 2 + 64);
    BufferPair pair{input, 0, &stream};
    auto workArea = std::make_unique_for_overwrite<uint8_t[]>(compressParallelWorkSize(threadCount));
    int result = CompressStreamParallel(readFromSpan, appendToVector, workArea.get(), &pair, &literalMode,
                                        &dictionarySize, threadCount);
    if (result != 0) stream.clear();
    return result;
}

}  // namespace bxa
