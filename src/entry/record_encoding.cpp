#include "entry/record_encoding.hpp"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "compress/compress_stream.hpp"
#include "compress/engine.hpp"
#include "entry/entry_kinds.hpp"
#include "entry/model_conversion.hpp"
#include "entry/stream_pair.hpp"
#include "platform/console.hpp"
#include "platform/file.hpp"
#include "platform/file_system.hpp"

namespace bxa {

namespace {

constexpr const char* ConvertedTempName = "tmp.cmp";

// Binary models always hold a NUL byte (their counts and name fields) and text forms never do, so a NUL
// tells a model that was left in binary form from one an author edits.
bool holdsNulByte(platform::File& file) {
    std::vector<char> block(1 << 16);
    for (;;) {
        size_t got = file.read(block.data(), block.size());
        if (got == 0) return false;
        if (std::memchr(block.data(), 0, got) != nullptr) return true;
    }
}

bool compressToCopy(const std::string& sourcePath, const std::string& copyPath, int32_t method) {
    uint32_t literalMode = method == MethodCompressedAscii ? LiteralModeAscii : LiteralModeBinary;
    uint32_t dictionarySize = 4096;
    platform::File input = platform::File::openForReading(sourcePath);
    if (!input) {
        platform::printOut("\nError: Could not open input file\n");
        return false;
    }
    platform::File output = platform::File::createForWriting(copyPath);
    if (!output) {
        platform::printOut("\nError: Could not open output file\n");
        return false;
    }
    std::unique_ptr<uint8_t[]> workArea(new (std::nothrow) uint8_t[CompressWorkSize]);
    if (!workArea) {
        platform::printOut("\nError: Could not allocate work buffer\n");
        return false;
    }
    StreamPair pair{&input, &output};
    CompressStream(readChunk, writeChunk, workArea.get(), &pair, &literalMode, &dictionarySize);
    input.close();
    bool written = output.close() && !pair.writeFailed && !pair.readFailed;
    if (!written) {
        platform::printErr("\n\nError: Could not write file (%s)\n\n", copyPath.c_str());
        platform::removeFile(copyPath);
        return false;
    }
    return true;
}

}  // namespace

std::string encodedCopyPath(const std::string& workDir, const std::string& name) {
    return platform::joinPath(workDir, "xcmp_" + name);
}

ModelPreparation prepareModelSource(const std::string& path) {
    ModelKind kind = modelKindOf(path);
    if (kind == ModelKindNone) return ModelPreparation::NotAModel;
    {
        platform::File source = platform::File::openForReading(path);
        if (!source) {
            // The converter names the missing file; its output is never copied, so the file is not created.
            convertTextToModel(kind, ConvertedTempName, path);
            return ModelPreparation::LeftAsIs;
        }
        if (holdsNulByte(source)) return ModelPreparation::LeftAsIs;
    }
    if (!platform::copyFileOver(path, SavedTextTempName)) {
        platform::printErr("\n\nError: Could not save the text form of (%s) in %s\n\n", path.c_str(),
                           SavedTextTempName);
        return ModelPreparation::Failed;
    }
    // The converter creates "tmp.cmp" first, so a leftover one never stands in for this file's binary form.
    if (!convertTextToModel(kind, ConvertedTempName, path) || !platform::copyFileOver(ConvertedTempName, path)) {
        platform::printErr("\n\nError: Could not convert (%s) to its binary form\n\n", path.c_str());
        return ModelPreparation::Failed;
    }
    return ModelPreparation::Converted;
}

bool restoreModelSource(const std::string& path, ModelPreparation preparation) {
    if (preparation != ModelPreparation::Converted) return true;
    if (platform::copyFileOver(SavedTextTempName, path)) return true;
    platform::printErr("\n\nError: Could not put back the text form of (%s); it is in %s\n\n", path.c_str(),
                       SavedTextTempName);
    return false;
}

bool encodeRecord(const std::string& workDir, TocEntry& entry) {
    platform::printOut("Compressing %s\n", entry.name.c_str());
    std::string sourcePath = platform::joinPath(workDir, entry.name);
    std::string copyPath = encodedCopyPath(workDir, entry.name);
    if (entry.method == MethodCompressedBinary || entry.method == MethodCompressedAscii) {
        if (!compressToCopy(sourcePath, copyPath, entry.method)) return false;
    } else {
        // A stale copy must never stand in for one that could not be made.
        platform::removeFile(copyPath);
        platform::copyFileOver(sourcePath, copyPath);
    }
    std::optional<int64_t> length = platform::regularFileLength(copyPath);
    if (!length) {
        platform::printErr("\n\nError: Could not open file (%s)\n\n", copyPath.c_str());
        return false;
    }
    if (*length > INT32_MAX) {
        platform::printErr("\n\nError: Record too large for a BXA file (%s)\n\n", copyPath.c_str());
        platform::removeFile(copyPath);
        return false;
    }
    entry.storedSize = static_cast<int32_t>(*length);
    return true;
}

}  // namespace bxa
