#include <algorithm>
#include <cctype>

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

// Names compare byte by byte as unsigned values; a name that is a prefix of another sorts first.
bool sortsAfter(const std::string& name, const std::string& other) {
    return std::lexicographical_compare(other.begin(), other.end(), name.begin(), name.end(),
                                        [](char a, char b) {
                                            return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
                                        });
}

// A name must fit its 32-byte field with a NUL, stay inside the work directory, and survive a catalog line
// (which ends a name at white space).
bool checkNewRecordName(const std::string& name) {
    if (name.size() > MaxRecordNameLength) {
        platform::printOut("\nError: File name too long (%s); a record name holds at most %zu characters\n",
                           name.c_str(), MaxRecordNameLength);
        return false;
    }
    bool hasBlankOrControl = std::any_of(name.begin(), name.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte <= ' ' || byte == 0x7F;
    });
    if (!isContainedRecordName(name) || hasBlankOrControl) {
        platform::printOut("\nError: Invalid record name (%s); it must be a file name in the work directory, "
                           "without blanks\n",
                           name.c_str());
        return false;
    }
    return true;
}

// The record after which the new one goes: inside the group of records with its extension, before the
// first that sorts after it, never in front of the group's first record; the last record when the group
// is absent or runs to the end. Only meaningful for a list that is not empty.
size_t insertionPoint(const TocList& toc, const std::string& name) {
    const std::string ext = extensionOf(name);
    size_t current = 0;
    while (current < toc.size() && extensionOf(toc[current].name) != ext) ++current;
    if (current == toc.size()) return toc.size() - 1;
    for (; current + 1 < toc.size(); ++current) {
        const TocEntry& following = toc[current + 1];
        if (sortsAfter(following.name, name) || extensionOf(following.name) != ext) return current;
    }
    return toc.size() - 1;
}

bool writeCatalog(const std::string& path, const TocList& toc) {
    File catalog = File::createForWriting(path);
    if (!catalog) return false;
    for (const TocEntry& entry : toc) catalog.write(formatCatalogLine(entry));
    return catalog.close();
}

}  // namespace

bool addFile(TocList& toc, const std::string& archivePath, const std::string& workDir,
             const std::string& recordName) {
    if (!checkNewRecordName(recordName)) return false;
    bool tableRead = readTableOfContents(toc, archivePath, workDir);
    if (toc.find(recordName) != toc.size()) {
        platform::printOut("\nError: File already exists in the archive\n");
        return false;
    }
    File archive = File::openForReading(archivePath);
    if (!archive) {
        platform::printOut("\nError: Could not open BXA file (%s); file must exist", archivePath.c_str());
        return false;
    }
    // Without its table the archive would be rebuilt without its records; leave it alone.
    if (!tableRead) return false;
    int64_t archiveLength = archiveLengthOf(archive);
    if (!isWellFormedArchive(toc, archiveLength)) {
        reportNotWellFormed(archivePath);
        return false;
    }
    File work = File::createForWriting(RebuildWorkFileName);
    if (!work) {
        platform::printOut("\nError: Could not open BXA working file\n");
        return false;
    }
    std::optional<PreparedSource> prepared = prepareSourceFile(workDir, recordName);
    if (!prepared) return false;
    const std::string& source = prepared->path;
    const ModelPreparation preparation = prepared->preparation;
    TocEntry added;
    added.name = recordName;
    added.method = storageMethodFor(source);
    added.originalSize = prepared->originalSize;
    if (!encodeRecord(workDir, added)) {
        restoreModelSource(source, preparation);
        return false;
    }
    RebuildPlan plan;
    plan.encodedCopyPath = encodedCopyPath(workDir, recordName);
    plan.storedSize = added.storedSize;
    plan.frontStart = toc.empty() ? ArchiveHeaderSize : toc[0].dataOffset;
    size_t position = 0;
    if (!toc.empty()) {
        size_t after = insertionPoint(toc, recordName);
        position = after + 1;
        plan.frontEnd = static_cast<int64_t>(toc[after].dataOffset) + toc[after].storedSize;
        plan.backEnd = archiveLength;
    } else {
        plan.frontEnd = plan.frontStart;
        plan.backEnd = plan.frontStart;
    }
    plan.backStart = plan.frontEnd;
    toc.insertAt(position, added);
    if (!assignRunningOffsets(toc)) {
        platform::printOut("\nError: The rebuilt BXA file would reach 2 GiB\n");
        platform::removeFile(plan.encodedCopyPath);
        restoreModelSource(source, preparation);
        return false;
    }
    // The new catalog goes in place only together with the new archive.
    std::string catalogPath = platform::joinPath(workDir, "catalog.dat");
    std::string newCatalogPath = platform::temporaryPathBeside(catalogPath);
    // A directory in the catalog's place would only show once the new archive is in: refuse it first.
    if (platform::isDirectory(catalogPath) || !writeCatalog(newCatalogPath, toc)) {
        platform::removeFile(newCatalogPath);
        platform::removeFile(plan.encodedCopyPath);
        platform::printErr("\nError: Could not open %s\n", catalogPath.c_str());
        restoreModelSource(source, preparation);
        return false;
    }
    platform::printOut("\nRepacking...");
    bool written = writeRebuiltArchive(work, archive, toc, plan);
    archive.close();
    bool replaced = written && installRebuiltArchive(archivePath);
    if (replaced && !platform::replaceFileAtomically(newCatalogPath, catalogPath)) {
        platform::printErr("\nError: Could not write %s\n", catalogPath.c_str());
    }
    platform::removeFile(newCatalogPath);
    bool restored = restoreModelSource(source, preparation);
    if (!replaced || !restored) return false;
    platform::removeFile(RebuildWorkFileName);
    platform::printOut("Done\n");
    return true;
}

}  // namespace bxa
