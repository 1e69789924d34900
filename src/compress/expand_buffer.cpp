#include "compress/expand_buffer.hpp"

#include <algorithm>
#include <cstring>
#include <memory>

#include "compress/buffer_callbacks.hpp"
#include "compress/expand_stream.hpp"

namespace bxa {

using buffer_callbacks::appendToVector;
using buffer_callbacks::BufferPair;
using buffer_callbacks::readFromSpan;

int expandBuffer(std::span<const uint8_t> stream, std::vector<uint8_t>& output) {
    output.clear();
    BufferPair pair{stream, 0, &output};
    auto workArea = std::make_unique<uint8_t[]>(ExpandWorkSize);
    return ExpandStream(readFromSpan, appendToVector, workArea.get(), &pair);
}

}  // namespace bxa
