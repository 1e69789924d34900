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

#include "archive/catalog.hpp"
#include "archive/toc.hpp"
#include "entry/stream_pair.hpp"
#include "platform/directory.hpp"
#include "platform/file.hpp"
#include "platform/line_reader.hpp"

namespace {

using bxa::platform::File;

int expandAll(const std::string& archivePath, const std::string& dir) {
    File archive = File::openForReading(archivePath);
    if (!archive) return 1;
    bxa::TocList toc;
    bxa::readTableRecords(archive, toc);
    bxa::platform::Directory::make(dir);
    for (const bxa::TocEntry& entry : toc) {
        File out = File::createForWriting(bxa::platform::joinPath(dir, entry.name));
        if (entry.method == 1 || entry.method == 2) {
            bxa::expandBetween(archive, entry.dataOffset, entry.storedSize, out);
        } else {
            bxa::platform::copyBytes(archive, entry.dataOffset, entry.storedSize, out);
        }
    }
    return 0;
}

int compressAll(const std::string& dir, const std::string& outPath) {
    File catalog = File::openForReading(bxa::platform::joinPath(dir, "catalog.dat"));
    File out = File::createForWriting(outPath);
    if (!catalog || !out) return 1;
    bxa::platform::LineReader reader(catalog, bxa::CatalogLineCapacity);
    while (reader.next()) {
        bxa::CatalogLine line = bxa::parseCatalogLine(reader.line());
        if (line.name.empty()) continue;
        File in = File::openForReading(bxa::platform::joinPath(dir, line.name));
        if (line.method == 1 || line.method == 2) {
            bxa::compressBetween(in, line.method, out);
        } else if (std::optional<int64_t> length = in.length()) {
            bxa::platform::copyBytes(in, 0, *length, out);
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
