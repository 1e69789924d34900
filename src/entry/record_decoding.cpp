#include "entry/record_decoding.hpp"

#include "entry/entry_kinds.hpp"
#include "entry/file_messages.hpp"
#include "entry/model_conversion.hpp"
#include "entry/stream_pair.hpp"

namespace bxa {

namespace {

using platform::Console;
using platform::File;
using platform::OpenFailure;

// The stored bytes as they are: for records that are not compressed, and for streams that cannot be
// expanded.
bool copyStored(File& archive, const TocEntry& entry, File& output) {
    return output.truncate(0) && output.seek(0) && copyBytes(archive, entry.dataOffset, entry.storedSize, output);
}

}  // namespace

bool decodeRecord(File& archive, TocEntry& entry, platform::WorkingFile& output, const platform::Directory& parent,
                  const std::string& path, Console& console) {
    console.out("Decompressing %s\n", entry.name.c_str());
    const bool compressed = entry.method == MethodCompressedBinary || entry.method == MethodCompressedAscii;
    if (compressed) {
        switch (expandBetween(archive, entry.dataOffset, entry.storedSize, output.file())) {
            case EngineOutcome::Done: break;
            case EngineOutcome::NotAStream:
                entry.method = MethodStored;
                if (!copyStored(archive, entry, output.file())) {
                    reportUnwritableFile(path, console);
                    return false;
                }
                break;
            case EngineOutcome::NoWorkArea: console.out("\nError: Could not allocate work buffer\n"); return false;
            case EngineOutcome::ReadFailed:
                console.err("\n\nError: Could not read the data of record (%s) from the archive\n\n", entry.name.c_str());
                return false;
            case EngineOutcome::WriteFailed: reportUnwritableFile(path, console); return false;
        }
    } else if (!copyBytes(archive, entry.dataOffset, entry.storedSize, output.file())) {
        reportUnwritableFile(path, console);
        return false;
    }

    const ModelKind kind = modelKindOf(path);
    if (compressed && kind != ModelKindNone) {
        platform::WorkingFile text = parent.createWorkingFile();
        if (!text || !output.file().seek(0)) {
            console.err("\n\nError: Could not open file (%s)\n\n", path.c_str());
            return false;
        }
        if (!convertModelToText(kind, output.file(), text.file()) || !text.file().flush()) {
            console.err("\nError: Could not write output file (%s)\n", path.c_str());
            return false;
        }
        output = std::move(text);
    } else if (!output.file().flush()) {
        reportUnwritableFile(path, console);
        return false;
    }
    return true;
}

bool placeRecordFile(platform::WorkingFile& file, std::string_view leaf, const std::string& path, Console& console) {
    OpenFailure failure = OpenFailure::None;
    if (file.commit(leaf, false, &failure)) return true;
    reportUnplaceableFile(failure, path, console);
    return false;
}

}  // namespace bxa
