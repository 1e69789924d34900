// Lists the records of a BXA archive: name, storage method, stored and original size, offset.
// usage: list_records ARCHIVE
#include <bxa/bxa.hpp>

#include <cinttypes>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s ARCHIVE\n", argv[0]);
        return 2;
    }
    bxa::ArchiveReader reader;
    if (bxa::Status status = reader.open(argv[1]); !status) {
        std::fprintf(stderr, "%s\n", status.message().c_str());
        return 1;
    }
    for (const bxa::RecordInfo& record : reader.records()) {
        std::printf("%-32s method %2" PRId32 "  stored %9" PRId32 "  original %9" PRId32 "  at %9" PRId32 "\n",
                    record.name.c_str(), record.method, record.storedSize, record.originalSize, record.dataOffset);
    }
    return 0;
}
