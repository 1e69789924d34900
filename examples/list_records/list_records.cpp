// Lists the records of a BXA archive: name, storage method, stored and original size, offset.
// usage: list_records ARCHIVE
#include <archive/toc.hpp>
#include <platform/file.hpp>

#include <cinttypes>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s ARCHIVE\n", argv[0]);
        return 2;
    }
    bxa::platform::File archive = bxa::platform::File::openForReading(argv[1]);
    if (!archive) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    bxa::TocList toc;
    bxa::readTableRecords(archive, toc);
    for (const bxa::TocEntry& entry : toc) {
        std::printf("%-32s method %2" PRId32 "  stored %9" PRId32 "  original %9" PRId32 "  at %9" PRId32 "\n",
                    entry.name.c_str(), entry.method, entry.storedSize, entry.originalSize, entry.dataOffset);
    }
    return 0;
}
