#include <algorithm>
#include <cinttypes>
#include <unordered_map>
#include <vector>

#include "archive/catalog.hpp"
#include "archive/command_support.hpp"
#include "archive/commands.hpp"
#include "entry/file_messages.hpp"
#include "entry/record_decoding.hpp"
#include "platform/directory.hpp"
#include "platform/file.hpp"
#include "platform/ordered_work.hpp"

namespace bxa {

namespace {

using platform::Console;
using platform::Directory;
using platform::File;

bool isSelected(const TocEntry& entry, const std::optional<std::string>& recordName) {
    return !recordName || *recordName == entry.name;
}

// What is wrong with a record's name for the work directory, or nothing. A control character breaks
// catalog.dat, which lists every record, so it stops even an unpack of another record.
bool checkRecordName(const TocEntry& entry, bool selected, Console& console) {
    if (!checkCatalogCanList(entry.name, console)) return false;
    const std::string shown = printableName(entry.name);
    switch (recordNameProblem(entry.name)) {
        case NameProblem::Empty:
        case NameProblem::Escapes:
            if (!selected) return true;
            console.err("\n\nError: Record name (%s) is absolute or contains '..'; it would be written outside the "
                        "work directory\n\n",
                        shown.c_str());
            return false;
        case NameProblem::SideFile:
            if (!selected) return true;
            console.err("\n\nError: Record name (%s) is the name of a file the unpack writes itself; it would "
                        "replace it\n\n",
                        shown.c_str());
            return false;
        case NameProblem::WorkingFileName:
            if (!selected) return true;
            console.err("\n\nError: Record name (%s) has the form of a working file of bxa; a later run would "
                        "remove it\n\n",
                        shown.c_str());
            return false;
        default: return true;
    }
}

bool checkRecordData(const TocEntry& entry, int64_t archiveLength, Console& console) {
    int64_t end = static_cast<int64_t>(entry.dataOffset) + entry.storedSize;
    if (entry.dataOffset < 0 || entry.storedSize < 0 || end > archiveLength) {
        console.err("\n\nError: Record (%s) lies outside the archive: offset %" PRId32 ", size %" PRId32
                    ", archive length %" PRId64 "\n\n",
                    entry.name.c_str(), entry.dataOffset, entry.storedSize, archiveLength);
        return false;
    }
    return true;
}

// A record whose file is the archive being read would overwrite it while it is read.
bool checkRecordIsNotTheArchive(const TocEntry& entry, const Directory& workDir, const std::string& archivePath,
                                const std::optional<platform::FileIdentity>& archive, Console& console) {
    std::string leaf;
    Directory parent = workDir.parentOf(entry.name, leaf);
    return !parent || checkNotTheArchive("Record", entry.name, parent, leaf, archive, archivePath, console);
}

// Records that share stored bytes let a small archive demand unbounded work and disk: each copy of one
// stream may expand several hundred times, and a 64 KiB table holds over a thousand records. A writer never
// makes them, so a whole unpack refuses them before it writes anything. Records lying outside the archive
// are left to checkRecordData, which names them in table order.
bool checkNoSharedData(const TocList& toc, int64_t archiveLength, Console& console) {
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
            console.err("\n\nError: Records (%s) and (%s) share their data in the archive\n\n", before.name.c_str(),
                        inside[i]->name.c_str());
            return false;
        }
    }
    return true;
}

// Every check that can be made before a record is written, in table order.
bool checkRecords(const TocList& toc, const std::optional<std::string>& recordName, File& archive,
                  const std::string& archivePath, const Directory& workDir, Console& console) {
    const int64_t archiveLength = archive.length().value_or(0);
    const std::optional<platform::FileIdentity> archiveIdentity = platform::identityOf(archive);
    for (const TocEntry& entry : toc) {
        const bool selected = isSelected(entry, recordName);
        if (!checkRecordName(entry, selected, console)) return false;
        if (selected && (!checkRecordData(entry, archiveLength, console) ||
                         !checkRecordIsNotTheArchive(entry, workDir, archivePath, archiveIdentity, console))) {
            return false;
        }
    }
    return recordName || checkNoSharedData(toc, archiveLength, console);
}

// Two records that land on one file (the same name twice, or on Windows names that differ in case) leave
// only the later one in the work directory, while the catalog lists both: a pack then stores the later
// one's data under both names. Nothing is lost yet, so the unpack goes on, but it says so.
void warnOfRecordsSharingAFile(const TocList& toc, const std::vector<size_t>& selected, Console& console) {
    std::unordered_map<std::string, size_t> firstWithKey;
    for (size_t i : selected) {
        const auto [first, inserted] = firstWithKey.emplace(workFileKey(toc[i].name), i);
        if (inserted) continue;
        console.err("\nWarning: Records (%s) and (%s) are one file in the work directory, which keeps the later "
                    "one; a pack stores its data under both names\n",
                    toc[first->second].name.c_str(), toc[i].name.c_str());
    }
}

// A record on its way out of the archive: decoded into a working file by a worker, put in place, with its
// messages and catalog line, in table order by the calling thread.
struct PendingRecord {
    TocEntry entry;  // as decoding left it: its method may have become 0
    platform::RecordingConsole messages;
    Directory parent;
    std::string leaf;
    std::string path;
    platform::WorkingFile file;
    bool decoded = false;

    // Drops everything, the working file too, for the record to be decoded again.
    void reset() {
        entry = TocEntry();
        messages.clear();
        parent = Directory();
        leaf.clear();
        path.clear();
        file = platform::WorkingFile();
        decoded = false;
    }
};

void decodePending(File& archive, const Directory& workDir, PendingRecord& pending) {
    Console& console = pending.messages;
    pending.path = workDir.pathOf(pending.entry.name);
    platform::OpenFailure failure = platform::OpenFailure::None;
    pending.parent = workDir.parentOf(pending.entry.name, pending.leaf, &failure);
    bool replaces = false;
    if (pending.parent) {
        switch (pending.parent.typeOf(pending.leaf)) {
            case platform::EntryType::Directory: failure = platform::OpenFailure::IsDirectory; break;
            case platform::EntryType::Other: failure = platform::OpenFailure::NotRegular; break;
            case platform::EntryType::Regular: replaces = true; [[fallthrough]];
            default: pending.file = pending.parent.createWorkingFile(&failure); break;
        }
    }
    if (!pending.file) {
        reportUnopenableFile(failure, pending.path, console);
        return;
    }
    if (!decodeRecord(archive, pending.entry, pending.file, pending.parent, pending.path, console)) {
        console.err("\nAborting...\n");
        return;
    }
    // A rename over an existing file makes some file systems write the new file's data out first, so
    // that a crash cannot leave it empty; starting that here lets it run beside the other records instead
    // of in the thread that puts them in place one by one.
    if (replaces) pending.file.file().startWriteBack();
    pending.decoded = true;
}

// Records in subdirectories of the work directory have their working files there: what killed runs left
// in those is removed too, once per directory.
void removeLeftoversInSubdirectories(const TocList& toc, const std::vector<size_t>& selected, const Directory& workDir) {
    std::vector<platform::FileIdentity> cleaned;
    for (size_t i : selected) {
        const std::string& name = toc[i].name;
        if (std::none_of(name.begin(), name.end(), platform::isPathSeparator)) continue;
        std::string leaf;
        Directory parent = workDir.parentOf(name, leaf);
        std::optional<platform::FileIdentity> identity = parent ? parent.identity() : std::nullopt;
        if (!identity || std::find(cleaned.begin(), cleaned.end(), *identity) != cleaned.end()) continue;
        cleaned.push_back(*identity);
        parent.removeLeftovers();
    }
}

// Puts a decoded record in place and reports it, as the record's last steps. A record that failed while
// others were decoded beside it is tried again alone, and nothing of it is said yet.
platform::Finish placePending(PendingRecord& pending, bool alone, Console& console) {
    platform::RecordingConsole placing;
    const bool placed = pending.decoded && placeRecordFile(pending.file, pending.leaf, pending.path, placing);
    if (!placed && !alone) return platform::Finish::Again;
    pending.messages.replayTo(console);
    placing.replayTo(console);
    if (!pending.decoded) return platform::Finish::Stop;
    if (!placed) {
        console.err("\nAborting...\n");
        return platform::Finish::Stop;
    }
    const TocEntry& entry = pending.entry;
    console.out("Writing %s, %" PRId32 " bytes\n", entry.name.c_str(), entry.storedSize);
    if (recordNameProblem(entry.name) == NameProblem::Blank) {
        console.err("\nWarning: Record name (%s) holds a blank; catalog.dat cannot carry it back to pack\n",
                    entry.name.c_str());
    }
    return platform::Finish::Next;
}

bool extractRecords(TocList& toc, ArchiveReading& reading, const std::string& archivePath,
                    const std::optional<std::string>& recordName, unsigned threads, Console& console) {
    const Directory& workDir = reading.workDir;
    const std::string catalogPath = workDir.pathOf(CatalogFileName);
    if (!checkNotTheArchive("Catalog", catalogPath, workDir, CatalogFileName, platform::identityOf(reading.archive),
                            archivePath, console)) {
        return false;
    }
    platform::WorkingFile catalog;
    if (workDir.typeOf(CatalogFileName) != platform::EntryType::Directory) catalog = workDir.createWorkingFile();
    if (!catalog) {
        console.err("\n\nError: Could not open (%s)\n\n", catalogPath.c_str());
        return false;
    }
    console.out("\nExtracting files...\n");
    // A refused archive leaves the old catalog.dat, like every other file, as it was.
    if (!checkRecords(toc, recordName, reading.archive, archivePath, workDir, console)) {
        console.err("\nAborting...\n");
        return false;
    }
    std::vector<size_t> selected;
    for (size_t i = 0; i < toc.size(); ++i) {
        if (isSelected(toc[i], recordName)) selected.push_back(i);
    }
    warnOfRecordsSharingAFile(toc, selected, console);
    removeLeftoversInSubdirectories(toc, selected, workDir);
    CurrentDirectoryCopies copies;
    copies.protect(reading.archive);
    // Expanding no longer passes through "tmp.cmp"; a stale one goes as it always did.
    if (!selected.empty()) copies.removeExpandedCopy();

    // Only the records in flight have their state, however long the table is.
    const size_t window = platform::recordWindow(threads);
    std::vector<PendingRecord> slots(window + 1);
    auto pending = [&](size_t k) -> PendingRecord& { return slots[k % slots.size()]; };
    size_t listed = 0;  // catalog lines written so far
    auto listUpTo = [&](size_t end) {
        for (; listed < end; ++listed) catalog.file().write(formatCatalogLine(toc[listed]));
    };
    platform::OrderedSteps steps;
    steps.work = [&](size_t k, bool) {
        pending(k).reset();
        pending(k).entry = toc[selected[k]];
        decodePending(reading.archive, workDir, pending(k));
    };
    steps.finish = [&](size_t k, bool alone) {
        listUpTo(selected[k]);
        PendingRecord& record = pending(k);
        const platform::Finish outcome = placePending(record, alone, console);
        if (outcome == platform::Finish::Next) {
            toc[selected[k]] = record.entry;
            listUpTo(selected[k] + 1);
        }
        // Nothing of a finished record stays: its entry is in the table, and no file or directory is kept
        // open for it.
        if (outcome != platform::Finish::Again) pending(k).reset();
        return outcome;
    };
    steps.abandon = [&](size_t k) { pending(k).reset(); };
    steps.cost = [&](size_t k) { return static_cast<uint64_t>(std::max<int32_t>(toc[selected[k]].storedSize, 0)); };
    const bool extracted = platform::runInOrder(selected.size(), threads, window, steps);
    if (extracted) listUpTo(toc.size());
    // A failed unpack still leaves the catalog of the records written before the failure.
    platform::OpenFailure failure = platform::OpenFailure::None;
    if (!catalog.commit(CatalogFileName, false, &failure)) {
        reportUnplaceableFile(failure, catalogPath, console);
        return false;
    }
    if (!extracted) return false;
    console.out("Done\n");
    if (recordName && selected.empty()) {
        console.out("\nWarning: Specified file could not be found in archive (%s), no records written",
                    recordName->c_str());
    }
    return true;
}

}  // namespace

bool unpackArchive(TocList& toc, const std::string& archivePath, const std::string& workDir,
                   const std::optional<std::string>& recordName, Console& console, unsigned threads) {
    toc.clear();
    if (!checkPathArguments(archivePath, workDir, console)) return false;
    removeLeftoversAround(archivePath);
    ArchiveReading reading;
    if (!readTableOfContents(toc, archivePath, workDir, console, reading)) return false;
    return extractRecords(toc, reading, archivePath, recordName, threads, console);
}

}  // namespace bxa
