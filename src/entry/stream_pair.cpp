#include "entry/stream_pair.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "archive/toc.hpp"
#include "compress/compress_stream.hpp"
#include "compress/engine.hpp"
#include "compress/expand_stream.hpp"

namespace bxa {

namespace {

constexpr size_t ReadBlockSize = 1 << 16;

bool refill(StreamPair& pair) {
    if (pair.buffer.empty()) pair.buffer.resize(ReadBlockSize);
    size_t want = static_cast<size_t>(std::min<int64_t>(pair.inputRemaining, static_cast<int64_t>(pair.buffer.size())));
    pair.bufferStart = 0;
    pair.bufferEnd = 0;
    if (want == 0) return false;
    std::optional<size_t> got = pair.input->readAt(pair.inputOffset, pair.buffer.data(), want);
    if (!got) {
        pair.readFailed = true;
        return false;
    }
    pair.bufferEnd = *got;
    pair.inputOffset += static_cast<int64_t>(*got);
    pair.inputRemaining = *got < want ? 0 : pair.inputRemaining - static_cast<int64_t>(*got);
    return *got != 0;
}

enum class Engine { Expand, Compress };

EngineOutcome outcomeOf(const StreamPair& pair, int result) {
    if (pair.readFailed) return EngineOutcome::ReadFailed;
    if (result != ResultOk) return EngineOutcome::NotAStream;
    if (pair.writeFailed) return EngineOutcome::WriteFailed;
    return EngineOutcome::Done;
}

EngineOutcome runEngine(Engine engine, StreamPair& pair, int32_t method, const CompressThreads& on) {
    const size_t workSize = engine == Engine::Expand ? ExpandWorkSize
                            : on.helpers       ? CompressSharedWorkSize
                                               : compressParallelWorkSize(on.threads);
    std::unique_ptr<uint8_t[]> workArea(new (std::nothrow) uint8_t[workSize]);
    if (!workArea) return EngineOutcome::NoWorkArea;
    if (engine == Engine::Expand) return outcomeOf(pair, ExpandStream(readChunk, writeChunk, workArea.get(), &pair));
    uint32_t literalMode = method == MethodCompressedAscii ? LiteralModeAscii : LiteralModeBinary;
    uint32_t dictionarySize = RecordDictionarySize;
    const int result = on.helpers ? CompressStreamBorrowing(readChunk, writeChunk, workArea.get(), on.partArea, &pair,
                                                            &literalMode, &dictionarySize, *on.helpers)
                                  : CompressStreamParallel(readChunk, writeChunk, workArea.get(), &pair, &literalMode,
                                                           &dictionarySize, on.threads);
    return outcomeOf(pair, result);
}

}  // namespace

uint32_t readChunk(uint8_t* buffer, uint32_t* size, void* context) {
    auto& pair = *static_cast<StreamPair*>(context);
    size_t delivered = 0;
    while (delivered < *size) {
        if (pair.bufferStart == pair.bufferEnd && !refill(pair)) break;
        size_t count = std::min<size_t>(*size - delivered, pair.bufferEnd - pair.bufferStart);
        std::memcpy(buffer + delivered, pair.buffer.data() + pair.bufferStart, count);
        pair.bufferStart += count;
        delivered += count;
    }
    return static_cast<uint32_t>(delivered);
}

void writeChunk(uint8_t* buffer, uint32_t* size, void* context) {
    auto& pair = *static_cast<StreamPair*>(context);
    if (!pair.output->write(buffer, *size)) pair.writeFailed = true;
}

EngineOutcome expandBetween(platform::File& input, int64_t offset, int64_t length, platform::File& output) {
    StreamPair pair;
    pair.input = &input;
    pair.inputOffset = offset;
    pair.inputRemaining = length;
    pair.output = &output;
    return runEngine(Engine::Expand, pair, 0, {});
}

EngineOutcome compressBetween(platform::File& input, int32_t method, platform::File& output,
                              const CompressThreads& on) {
    StreamPair pair;
    pair.input = &input;
    pair.output = &output;
    return runEngine(Engine::Compress, pair, method, on);
}

}  // namespace bxa
