#include "archive/commands.hpp"
#include "archive/rebuild.hpp"
#include "entry/entry_kinds.hpp"
#include "entry/record_encoding.hpp"
#include "platform/console.hpp"
#include "platform/file.hpp"
#include "platform/file_system.hpp"

namespace bxa {

namespace {

using platform::File;

// Encodes the source into the entry's place and plans the rebuild around it. The entry keeps its name and
// method; its sizes become the new file's. Returns false (message printed) when the record is absent or
// cannot be encoded; the archive is untouched then.
bool encodeReplacement(TocList& toc, const std::string& workDir, const std::string& recordName,
                       int64_t originalSize, int64_t archiveLength, const std::string& archivePath,
                       RebuildPlan& plan) {
    size_t index = toc.find(recordName);
    if (index == toc.size()) {
        platform::printOut("\nError: Could not find record (%s); check record name and case\n\n",
                           recordName.c_str());
        return false;
    }
    if (!isWellFormedArchive(toc, archiveLength)) {
        reportNotWellFormed(archivePath);
        return false;
    }
    TocEntry renewed = toc[index];
    renewed.originalSize = static_cast<int32_t>(originalSize);
    if (!encodeRecord(workDir, renewed)) return false;
    plan.frontStart = toc[0].dataOffset;
    plan.frontEnd = toc[index].dataOffset;
    plan.encodedCopyPath = encodedCopyPath(workDir, recordName);
    plan.storedSize = renewed.storedSize;
    bool hasSuccessor = index + 1 < toc.size();
    plan.backStart = hasSuccessor ? toc[index + 1].dataOffset : archiveLength;
    plan.backEnd = archiveLength;
    toc[index] = renewed;
    if (!assignRunningOffsets(toc)) {
        platform::printOut("\nError: The rebuilt BXA file would reach 2 GiB\n");
        platform::removeFile(plan.encodedCopyPath);
        return false;
    }
    return true;
}

}  // namespace

bool replaceRecord(TocList& toc, const std::string& archivePath, const std::string& workDir,
                   const std::string& recordName) {
    bool tableRead = readTableOfContents(toc, archivePath, workDir);
    File archive = File::openForReading(archivePath);
    if (!archive) {
        platform::printOut("\nError: Could not open BXA file (%s); file must exist", archivePath.c_str());
        return false;
    }
    // Without its table the archive cannot be rebuilt with its records; leave it alone.
    if (!tableRead) return false;
    if (!isContainedRecordName(recordName)) {
        platform::printOut("\nError: Record name (%s) is absolute or contains '..'\n", recordName.c_str());
        return false;
    }
    File work = File::createForWriting(RebuildWorkFileName);
    if (!work) {
        platform::printOut("\nError: Could not open work file");
        return false;
    }
    std::optional<PreparedSource> prepared = prepareSourceFile(workDir, recordName);
    if (!prepared) return false;
    const std::string& source = prepared->path;
    const ModelPreparation preparation = prepared->preparation;
    int64_t archiveLength = archiveLengthOf(archive);
    RebuildPlan plan;
    if (!encodeReplacement(toc, workDir, recordName, prepared->originalSize, archiveLength, archivePath, plan)) {
        restoreModelSource(source, preparation);
        return false;
    }
    platform::printOut("\nRepacking...");
    bool written = writeRebuiltArchive(work, archive, toc, plan);
    archive.close();
    bool replaced = written && installRebuiltArchive(archivePath);
    bool restored = restoreModelSource(source, preparation);
    if (!replaced || !restored) return false;
    platform::removeFile(RebuildWorkFileName);
    platform::printOut("Done\n");
    return true;
}

}  // namespace bxa
