#include "entry/record_encoding.hpp"

#include <cstring>
#include <limits>
#include <vector>

#include "entry/model_conversion.hpp"
#include "entry/stream_pair.hpp"

namespace bxa {

namespace {

using platform::Console;
using platform::File;
using platform::OpenFailure;

constexpr size_t ScanBlockSize = 1 << 16;
// A record's sizes are signed 32-bit fields of the table.
constexpr int64_t LargestRecord = std::numeric_limits<int32_t>::max();

// Binary models always hold a NUL byte (their counts and name fields) and text forms never do, so a NUL
// tells a model that was left in binary form from one an author edits.
bool holdsNulByte(File& file) {
    std::vector<char> block(ScanBlockSize);
    for (int64_t offset = 0;;) {
        std::optional<size_t> got = file.readAt(offset, block.data(), block.size());
        if (!got || *got == 0) return false;
        if (std::memchr(block.data(), 0, *got) != nullptr) return true;
        offset += static_cast<int64_t>(*got);
    }
}

SourceProblem problemOf(OpenFailure failure) {
    switch (failure) {
        case OpenFailure::NotRegular: return SourceProblem::NotRegular;
        case OpenFailure::LinkInPath: return SourceProblem::LinkInPath;
        default: return SourceProblem::Missing;
    }
}

}  // namespace

SourceProblem prepareSource(const platform::Directory& workDir, std::string_view name, const std::string& path,
                            const platform::Directory& binaryDir, Console& console, PreparedSource& prepared) {
    prepared.kind = modelKindOf(path);
    OpenFailure failure = OpenFailure::None;
    prepared.text = workDir.openForReading(name, &failure);
    if (!prepared.text) {
        if (prepared.kind != ModelKindNone && failure != OpenFailure::NotRegular && failure != OpenFailure::LinkInPath) {
            console.err("\nError: Could not open output file (%s)\n", path.c_str());
        }
        return problemOf(failure);
    }
    prepared.identity = platform::identityOf(prepared.text);
    if (prepared.kind != ModelKindNone && !holdsNulByte(prepared.text)) {
        prepared.binary = binaryDir.createWorkingFile();
        bool converted = false;
        if (prepared.binary) {
            // It may end up as tmp.cmp in the current directory.
            prepared.binary.restrictPermissionsTo(prepared.text);
            File& binary = prepared.binary.file();
            // A text form can make a binary form many times its size (96 bytes for an empty line): the
            // conversion stops where no record could hold it.
            binary.limitWrites(LargestRecord + 1);
            converted = convertTextToModel(prepared.kind, prepared.text, binary) && binary.flush();
            if (!converted && binary.writeLimitReached()) return SourceProblem::TooLarge;
        }
        if (!converted) {
            console.err("\n\nError: Could not convert (%s) to its binary form\n\n", path.c_str());
            return SourceProblem::Unconvertible;
        }
        prepared.converted = true;
    }
    std::optional<int64_t> size = prepared.bytes().length();
    if (!size) return SourceProblem::Missing;
    if (*size > LargestRecord) return SourceProblem::TooLarge;
    prepared.size = *size;
    return SourceProblem::None;
}

EncodeOutcome encodeRecord(PreparedSource& source, TocEntry& entry, File& out, Console& console,
                           const CompressThreads& on) {
    console.out("Compressing %s\n", entry.name.c_str());
    const std::optional<int64_t> start = out.position();
    if (!start) return EncodeOutcome::WriteFailed;
    File& bytes = source.bytes();
    if (entry.method == MethodCompressedBinary || entry.method == MethodCompressedAscii) {
        switch (compressBetween(bytes, entry.method, out, on)) {
            case EngineOutcome::Done: break;
            case EngineOutcome::NoWorkArea: return EncodeOutcome::NoWorkArea;
            case EngineOutcome::ReadFailed: return EncodeOutcome::ReadFailed;
            default: return EncodeOutcome::WriteFailed;
        }
    } else if (!copyBytes(bytes, 0, source.size, out)) {
        return EncodeOutcome::WriteFailed;
    }
    // Flushed, so that the bytes can be copied from the file's descriptor.
    const std::optional<int64_t> end = out.flush() ? out.position() : std::nullopt;
    if (!end) return EncodeOutcome::WriteFailed;
    if (*end - *start > LargestRecord) return EncodeOutcome::TooLarge;
    entry.storedSize = static_cast<int32_t>(*end - *start);
    return EncodeOutcome::Done;
}

}  // namespace bxa
