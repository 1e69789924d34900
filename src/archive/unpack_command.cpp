#include <algorithm>
#include <cinttypes>
#include <vector>

#include "archive/commands.hpp"
#include "archive/data_copy.hpp"
#include "entry/entry_kinds.hpp"
#include "entry/record_decoding.hpp"
#include "platform/console.hpp"
#include "platform/file.hpp"
#include "platform/file_system.hpp"

namespace bxa {

namespace {

using platform::File;

// A record is extracted only when its name stays inside the work directory and its data lies wholly
// inside the archive: the table is untrusted input.
bool checkRecordIsExtractable(const TocEntry& entry, int64_t archiveLength) {
    if (!isContainedRecordName(entry.name)) {
        platform::printErr("\n\nError: Record name (%s) is absolute or contains '..'; it would be written outside the work directory\n\n",
                           entry.name.c_str());
        return false;
    }
    int64_t end = static_cast<int64_t>(entry.dataOffset) + entry.storedSize;
    if (entry.dataOffset < 0 || entry.storedSize < 0 || end > archiveLength) {
        platform::printErr("\n\nError: Record (%s) lies outside the archive: offset %" PRId32 ", size %" PRId32
                           ", archive length %" PRId64 "\n\n",
                           entry.name.c_str(), entry.dataOffset, entry.storedSize, archiveLength);
        return false;
    }
    return true;
}

// Records that share stored bytes let a small archive demand unbounded work and disk: each copy of one
// stream may expand several hundred times, and a 64 KiB table holds over a thousand records. A writer never
// makes them, so a whole unpack refuses them before it writes anything. Records lying outside the archive
// are left to checkRecordIsExtractable, which names them in table order.
bool checkNoSharedData(const TocList& toc, int64_t archiveLength) {
    std::vector<const TocEntry*> inside;
    for (const TocEntry& entry : toc) {
        int64_t end = static_cast<int64_t>(entry.dataOffset) + entry.storedSize;
        if (entry.dataOffset >= 0 && entry.storedSize > 0 && end <= archiveLength) inside.push_back(&entry);
    }
    std::stable_sort(inside.begin(), inside.end(),
              [](const TocEntry* a, const TocEntry* b) { return a->dataOffset < b->dataOffset; });
    for (size_t i = 1; i < inside.size(); ++i) {
        const TocEntry& before = *inside[i - 1];
        if (static_cast<int64_t>(before.dataOffset) + before.storedSize > inside[i]->dataOffset) {
            platform::printErr("\n\nError: Records (%s) and (%s) share their data in the archive\n\n",
                               before.name.c_str(), inside[i]->name.c_str());
            platform::printErr("\nAborting...\n");
            return false;
        }
    }
    return true;
}

bool extractRecord(File& archive, int64_t archiveLength, TocEntry& entry, const std::string& workDir) {
    if (!checkRecordIsExtractable(entry, archiveLength)) {
        platform::printErr("\nAborting...\n");
        return false;
    }
    std::string path = platform::joinPath(workDir, entry.name);
    {
        File file = File::createForWriting(path);
        if (!file) {
            platform::printErr("\n\nError: Could not open file (%s)\n\n", path.c_str());
            return false;
        }
        if (!copyRange(archive, entry.dataOffset, entry.storedSize, file) || !file.close()) {
            platform::printErr("\n\nError: Could not write file (%s)\n\n", path.c_str());
            return false;
        }
    }
    if (!decodeRecord(path, entry)) {
        platform::printErr("\nAborting...\n");
        return false;
    }
    platform::printOut("Writing %s, %" PRId32 " bytes\n", entry.name.c_str(), entry.storedSize);
    return true;
}

bool extractRecords(TocList& toc, const std::string& archivePath, const std::string& workDir,
                    const std::optional<std::string>& recordName) {
    File archive = File::openForReading(archivePath);
    if (!archive) {
        platform::printErr("\n\nError: Could not open (%s)\n\n", archivePath.c_str());
        return false;
    }
    int64_t archiveLength = archive.length().value_or(0);
    platform::makeDirectory(workDir);
    std::string catalogPath = platform::joinPath(workDir, "catalog.dat");
    File catalog = File::createForWriting(catalogPath);
    if (!catalog) {
        platform::printErr("\n\nError: Could not open (%s)\n\n", catalogPath.c_str());
        return false;
    }
    platform::printOut("\nExtracting files...\n");
    if (!recordName && !checkNoSharedData(toc, archiveLength)) return false;
    bool found = false;
    for (TocEntry& entry : toc) {
        if (!recordName || *recordName == entry.name) {
            if (recordName) found = true;
            if (!extractRecord(archive, archiveLength, entry, workDir)) return false;
        }
        catalog.write(formatCatalogLine(entry));
    }
    if (!catalog.close()) {
        platform::printErr("\n\nError: Could not write catalog (%s)\n\n", catalogPath.c_str());
        return false;
    }
    platform::printOut("Done\n");
    if (recordName && !found) {
        platform::printOut("\nWarning: Specified file could not be found in archive (%s), no records written",
                           recordName->c_str());
    }
    return true;
}

}  // namespace

bool unpackArchive(TocList& toc, const std::string& archivePath, const std::string& workDir,
                   const std::optional<std::string>& recordName) {
    if (!readTableOfContents(toc, archivePath, workDir)) return false;
    return extractRecords(toc, archivePath, workDir, recordName);
}

}  // namespace bxa
