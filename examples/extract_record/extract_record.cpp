// Writes one record of a BXA archive to standard output: as stored, expanded, or (the default) expanded
// with a model in its commented text form (which unpack writes only for a compressed model record).
// usage: extract_record [-stored|-expanded] ARCHIVE NAME
#include <bxa/bxa.hpp>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    bxa::RecordForm form = bxa::RecordForm::Text;
    int first = 1;
    if (argc == 4 && std::strcmp(argv[1], "-stored") == 0) form = bxa::RecordForm::Stored, first = 2;
    if (argc == 4 && std::strcmp(argv[1], "-expanded") == 0) form = bxa::RecordForm::Expanded, first = 2;
    if (argc != first + 2) {
        std::fprintf(stderr, "usage: %s [-stored|-expanded] ARCHIVE NAME\n", argv[0]);
        return 2;
    }
    bxa::ArchiveReader reader;
    bxa::Status status = reader.open(argv[first]);
    const std::string name = argv[first + 1];
    size_t index = 0;
    while (status && index < reader.records().size() && reader.records()[index].name != name) ++index;
    if (status && index == reader.records().size()) status = bxa::Status::failure("no record named " + name);
    if (status) {
        status = reader.read(index, form, [](const uint8_t* data, size_t size) {
            return std::fwrite(data, 1, size, stdout) == size;
        });
    }
    if (!status) {
        std::fprintf(stderr, "%s\n", status.message().c_str());
        return 1;
    }
    return 0;
}
