#include "entry/record_decoding.hpp"

#include <memory>
#include <new>

#include "compress/engine.hpp"
#include "compress/expand_stream.hpp"
#include "entry/entry_kinds.hpp"
#include "entry/model_conversion.hpp"
#include "entry/stream_pair.hpp"
#include "platform/console.hpp"
#include "platform/file.hpp"
#include "platform/file_system.hpp"

namespace bxa {

namespace {

enum class Expansion { Expanded, NotAStream, Failed };

void reportWriteFailure(const std::string& path) {
    platform::printErr("\n\nError: Could not write file (%s)\n\n", path.c_str());
}

Expansion expandInPlace(const std::string& path) {
    platform::File input = platform::File::openForReading(path);
    if (!input) {
        platform::printOut("\nError: Could not open input file\n");
        return Expansion::Failed;
    }
    platform::File output = platform::File::createForWriting(ExpandedTempName);
    if (!output) {
        platform::printOut("\nError: Could not open output file\n");
        return Expansion::Failed;
    }
    std::unique_ptr<uint8_t[]> workArea(new (std::nothrow) uint8_t[ExpandWorkSize]);
    if (!workArea) {
        platform::printOut("\nError: Could not allocate work buffer\n");
        return Expansion::Failed;
    }
    StreamPair pair{&input, &output};
    int result = ExpandStream(readChunk, writeChunk, workArea.get(), &pair);
    input.close();
    bool written = output.close() && !pair.writeFailed;
    workArea.reset();
    if (result != ResultOk) return pair.readFailed ? Expansion::Failed : Expansion::NotAStream;
    if (!written) {
        reportWriteFailure(ExpandedTempName);
        return Expansion::Failed;
    }
    if (!platform::moveFileOver(ExpandedTempName, path)) {
        reportWriteFailure(path);
        return Expansion::Failed;
    }
    return Expansion::Expanded;
}

bool convertToTextInPlace(ModelKind kind, const std::string& path) {
    // The converters report their own open failures; a write failure shows in their result too.
    if (!convertModelToText(kind, path, ExpandedTempName)) return false;
    if (!platform::moveFileOver(ExpandedTempName, path)) {
        reportWriteFailure(path);
        return false;
    }
    return true;
}

}  // namespace

bool decodeRecord(const std::string& path, TocEntry& entry) {
    platform::printOut("Decompressing %s\n", entry.name.c_str());
    if (entry.method == MethodCompressedBinary || entry.method == MethodCompressedAscii) {
        switch (expandInPlace(path)) {
            case Expansion::Failed: return false;
            case Expansion::NotAStream: entry.method = MethodStored; break;
            case Expansion::Expanded: break;
        }
        ModelKind kind = modelKindOf(path);
        if (kind != ModelKindNone && !convertToTextInPlace(kind, path)) return false;
    }
    platform::removeFile(ExpandedTempName);
    return true;
}

}  // namespace bxa
