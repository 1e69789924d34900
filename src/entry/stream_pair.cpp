#include "entry/stream_pair.hpp"

#include <cstdio>

namespace bxa {

uint32_t readChunk(uint8_t* buffer, uint32_t* size, void* pair) {
    auto* streams = static_cast<StreamPair*>(pair);
    size_t got = streams->input->read(buffer, *size);
    if (got < *size && std::ferror(streams->input->handle()) != 0) streams->readFailed = true;
    return static_cast<uint32_t>(got);
}

void writeChunk(uint8_t* buffer, uint32_t* size, void* pair) {
    auto* streams = static_cast<StreamPair*>(pair);
    if (!streams->output->write(buffer, *size)) streams->writeFailed = true;
}

}  // namespace bxa
