// Any bytes at all as a compressed stream: no crash, no access outside the work area, a known result,
// and the same result and output whether the input arrives in full blocks or in small pieces.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "compress/expand_stream.hpp"

namespace {

struct Source {
    const uint8_t* data;
    size_t size;
    size_t position;
    uint32_t step;  // most bytes a read after the first delivers
    uint32_t reads;
    std::vector<uint8_t> output;
};

uint32_t readPiece(uint8_t* buffer, uint32_t* size, void* parameter) {
    auto* source = static_cast<Source*>(parameter);
    size_t count = source->size - source->position;
    if (count > *size) count = *size;
    if (source->reads++ > 0 && count > source->step) count = source->step;
    if (count != 0) std::memcpy(buffer, source->data + source->position, count);
    source->position += count;
    return static_cast<uint32_t>(count);
}

void collect(uint8_t* buffer, uint32_t* size, void* parameter) {
    auto* source = static_cast<Source*>(parameter);
    if (*size > 4096) std::abort();
    source->output.insert(source->output.end(), buffer, buffer + *size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the published size, so that the sanitizer sees any access past the work area.
    auto work = std::make_unique<uint8_t[]>(bxa::ExpandWorkSize);
    Source whole{data, size, 0, 2048, 0, {}};
    int result = bxa::ExpandStream(readPiece, collect, work.get(), &whole);
    if (result < bxa::ResultOk || result > bxa::ResultTruncated) std::abort();

    Source pieces{data, size, 0, 1 + static_cast<uint32_t>(size % 61), 0, {}};
    int again = bxa::ExpandStream(readPiece, collect, work.get(), &pieces);
    if (again != result || pieces.output != whole.output) std::abort();
    return 0;
}
