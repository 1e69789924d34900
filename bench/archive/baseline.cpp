// The least work an unpack or a pack must do, as a yardstick for bxa:
//   bxa_baseline expand ARCHIVE DIR        expands every record of ARCHIVE straight into DIR/NAME
//   bxa_baseline compress DIR OUT          compresses (or copies) every file that DIR/catalog.dat lists
//                                          into the one file OUT
// No model conversion, no temporary files, no catalog: only the engine and the file I/O.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/data_copy.hpp"
#include "archive/toc.hpp"
#include "compress/compress_stream.hpp"
#include "compress/engine.hpp"
#include "compress/expand_stream.hpp"
#include "entry/stream_pair.hpp"
#include "platform/file.hpp"
#include "platform/file_system.hpp"
#include "platform/line_reader.hpp"

namespace {

using bxa::platform::File;

// Reads at most `remaining` bytes of the archive: the record's own stream, not the data behind it.
struct BoundedInput {
    File* file;
    int64_t remaining;
};

uint32_t readBounded(uint8_t* buffer, uint32_t* size, void* context) {
    auto* input = static_cast<BoundedInput*>(context);
    auto want = static_cast<size_t>(std::min<int64_t>(*size, input->remaining));
    size_t got = input->file->read(buffer, want);
    input->remaining -= static_cast<int64_t>(got);
    return static_cast<uint32_t>(got);
}

struct ExpandContext {
    BoundedInput input;
    File* output;
};

uint32_t readFromContext(uint8_t* buffer, uint32_t* size, void* context) {
    return readBounded(buffer, size, &static_cast<ExpandContext*>(context)->input);
}

void writeToContext(uint8_t* buffer, uint32_t* size, void* context) {
    static_cast<ExpandContext*>(context)->output->write(buffer, *size);
}

int expandAll(const std::string& archivePath, const std::string& dir) {
    bxa::TocList toc;
    if (!bxa::readTableOfContents(toc, archivePath, dir)) return 1;
    File archive = File::openForReading(archivePath);
    std::unique_ptr<uint8_t[]> work(new uint8_t[bxa::ExpandWorkSize]);
    for (const bxa::TocEntry& entry : toc) {
        File out = File::createForWriting(bxa::platform::joinPath(dir, entry.name));
        if (entry.method == 1 || entry.method == 2) {
            archive.seek(entry.dataOffset);
            ExpandContext context{{&archive, entry.storedSize}, &out};
            bxa::ExpandStream(readFromContext, writeToContext, work.get(), &context);
        } else {
            bxa::copyRange(archive, entry.dataOffset, entry.storedSize, out);
        }
    }
    return 0;
}

int compressAll(const std::string& dir, const std::string& outPath) {
    File catalog = File::openForReading(bxa::platform::joinPath(dir, "catalog.dat"));
    File out = File::createForWriting(outPath);
    if (!catalog || !out) return 1;
    std::unique_ptr<uint8_t[]> work(new uint8_t[bxa::CompressWorkSize]);
    bxa::platform::LineReader reader(catalog, 1023);
    while (reader.next()) {
        const std::string& line = reader.line();
        long size = 0;
        long method = 0;
        char name[128] = {};
        if (std::sscanf(line.c_str(), "%ld %ld %127s", &size, &method, name) != 3) continue;
        File in = File::openForReading(bxa::platform::joinPath(dir, name));
        if (method == 1 || method == 2) {
            bxa::StreamPair pair{&in, &out};
            uint32_t mode = method == 2 ? bxa::LiteralModeAscii : bxa::LiteralModeBinary;
            uint32_t dictionary = 4096;
            bxa::CompressStream(bxa::readChunk, bxa::writeChunk, work.get(), &pair, &mode, &dictionary);
        } else {
            bxa::copyRest(in, out);
        }
    }
    return out.close() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "expand") == 0) return expandAll(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "compress") == 0) return compressAll(argv[2], argv[3]);
    std::fprintf(stderr, "usage: %s expand ARCHIVE DIR | compress DIR OUT\n", argv[0]);
    return 2;
}
