#include "archive/rebuild.hpp"

#include "archive/data_copy.hpp"
#include "platform/console.hpp"
#include "platform/file_system.hpp"

namespace bxa {

using platform::File;

bool isWellFormedArchive(const TocList& toc, int64_t archiveLength) {
    int64_t expected = static_cast<int64_t>(ArchiveHeaderSize + TocRecordSize * toc.size());
    for (const TocEntry& entry : toc) {
        if (entry.dataOffset != expected || entry.storedSize < 0) return false;
        expected += entry.storedSize;
    }
    return expected <= archiveLength;
}

int64_t archiveLengthOf(File& archive) { return archive.length().value_or(-1); }

void reportNotWellFormed(const std::string& archivePath) {
    platform::printOut("\nError: BXA file (%s) is not well formed (its records do not lie back to back); "
                       "unpack and pack it to rebuild it\n",
                       archivePath.c_str());
}

namespace {

bool appendEncodedCopy(File& work, const RebuildPlan& plan) {
    File copy = File::openForReading(plan.encodedCopyPath);
    if (!copy) {
        platform::printErr("\n\nError: Could not open file (%s)\n\n", plan.encodedCopyPath.c_str());
        return false;
    }
    if (copy.length() != std::optional<int64_t>(plan.storedSize) ||
        !copyRange(copy, 0, plan.storedSize, work)) {
        return false;
    }
    copy.close();
    platform::removeFile(plan.encodedCopyPath);
    return true;
}

}  // namespace

bool writeRebuiltArchive(File& work, File& oldArchive, const TocList& toc, const RebuildPlan& plan) {
    std::vector<uint8_t> table = encodeTableWithOffsets(toc);
    bool written = work.write(table.data(), table.size()) &&
                   copyRange(oldArchive, plan.frontStart, plan.frontEnd - plan.frontStart, work) &&
                   appendEncodedCopy(work, plan) &&
                   copyRange(oldArchive, plan.backStart, plan.backEnd - plan.backStart, work);
    written = work.close() && written;
    if (!written) {
        platform::printOut("\nError: Could not write BXA working file (%s)\n", RebuildWorkFileName);
        platform::removeFile(plan.encodedCopyPath);
        platform::removeFile(RebuildWorkFileName);
    }
    return written;
}

bool installRebuiltArchive(const std::string& archivePath) {
    platform::makeWritable(archivePath);
    if (platform::replaceFileAtomically(RebuildWorkFileName, archivePath)) return true;
    platform::printOut("\nError: Could not replace BXA file (%s); it is unchanged, and the rebuilt archive is in %s\n",
                       archivePath.c_str(), RebuildWorkFileName);
    return false;
}

std::optional<PreparedSource> prepareSourceFile(const std::string& workDir, const std::string& name) {
    PreparedSource source;
    source.path = platform::joinPath(workDir, name);
    source.preparation = prepareModelSource(source.path);
    if (source.preparation == ModelPreparation::Failed) return std::nullopt;
    std::optional<int64_t> length = platform::regularFileLength(source.path);
    if (!length || *length > INT32_MAX) {
        restoreModelSource(source.path, source.preparation);
        platform::printOut("\nError: Could not open source file (%s); file must exist", source.path.c_str());
        return std::nullopt;
    }
    source.originalSize = static_cast<int32_t>(*length);
    return source;
}

}  // namespace bxa
