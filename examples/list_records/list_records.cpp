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
    // The table ends where the first record's data begins.
    uint8_t bytes[bxa::TocRecordSize];
    int64_t position = bxa::ArchiveHeaderSize;
    int64_t tableEnd = 0;
    bool first = true;
    archive.seek(position);
    while ((first || position < tableEnd) && archive.read(bytes, sizeof bytes) == sizeof bytes) {
        bxa::TocRecord record = bxa::decodeTocRecord(bytes);
        if (first) tableEnd = record.dataOffset;
        first = false;
        std::printf("%-32s method %2" PRId32 "  stored %9" PRId32 "  original %9" PRId32 "  at %9" PRId32 "\n",
                    bxa::nameFromField(record.name).c_str(), record.method, record.storedSize,
                    record.originalSize, record.dataOffset);
        position += bxa::TocRecordSize;
    }
    return 0;
}
