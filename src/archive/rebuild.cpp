#include "archive/rebuild.hpp"

#include <algorithm>
#include <vector>

#include "archive/catalog.hpp"
#include "archive/command_support.hpp"

namespace bxa {

using platform::EntryType;

namespace {
constexpr uint32_t OwnerReadWrite = 0600;
}

bool NewArchive::create(const std::string& archivePath, bool ownerMayWrite) {
    archivePath_ = archivePath;
    PathLocation location = locatePath(platform::followLinks(archivePath));
    directory_ = std::move(location.directory);
    leaf_ = std::move(location.leaf);
    if (!directory_ || leaf_.empty() || leaf_ == "." || leaf_ == "..") return false;
    if (!directory_.nameFits(leaf_)) {
        nameTooLong_ = true;
        return false;
    }
    EntryType type = directory_.typeOf(leaf_);
    if (type == EntryType::Directory || type == EntryType::Other) return false;
    working_ = directory_.createWorkingFile();
    if (!working_) return false;
    if (type == EntryType::Regular) {
        platform::File old = directory_.openForReading(leaf_);
        permissions_ = platform::permissionsOf(old);
    }
    if (permissions_ && ownerMayWrite) permissions_->mode |= OwnerReadWrite;
    // The old archive's data goes into this file: from the start no one may read it who may not read the
    // old archive, also when a killed run leaves it behind.
    if (permissions_) working_.setPermissions(*permissions_);
    return true;
}

platform::WorkingFile NewArchive::takePartFile() {
    {
        std::lock_guard<std::mutex> lock(partsMutex_);
        if (!spareParts_.empty()) {
            platform::WorkingFile part = std::move(spareParts_.back());
            spareParts_.pop_back();
            return part;
        }
    }
    platform::WorkingFile part = directory_.createWorkingFile();
    if (part && permissions_) part.setPermissions(*permissions_);
    return part;
}

void NewArchive::givePartFile(platform::WorkingFile part) {
    // The next record is written over this one's bytes from the start: rewriting a file's pages costs the
    // system far less than freeing them and taking new ones. A part file that holds more than a usual
    // record is emptied, so that the spare ones hold little disk space; one whose writes failed goes.
    if (!part || part.file().writeFailed()) return;
    const std::optional<int64_t> length = part.file().length();
    if (!length || (*length > ReusedPartBytes && !part.file().truncate(0)) || !part.file().seek(0)) return;
    std::lock_guard<std::mutex> lock(partsMutex_);
    spareParts_.push_back(std::move(part));
}

void NewArchive::dropSpareParts() {
    std::lock_guard<std::mutex> lock(partsMutex_);
    spareParts_.clear();
}

bool NewArchive::append(platform::File& from, int64_t offset, int64_t length) {
    constexpr int64_t WriteBackPiece = int64_t{16} << 20;
    while (length > 0) {
        const int64_t piece = std::min(length, WriteBackPiece);
        if (!platform::copyBytes(from, offset, piece, file())) return false;
        startWriteBack();
        offset += piece;
        length -= piece;
    }
    return length == 0;
}

bool NewArchive::reserveTable(size_t count) {
    const std::vector<uint8_t> room(ArchiveHeaderSize + TocRecordSize * count, 0);
    return file().seek(0) && file().write(room.data(), room.size());
}

bool NewArchive::writeTable(const TocList& toc) {
    const std::vector<uint8_t> table = encodeTableWithOffsets(toc);
    return file().seek(0) && file().write(table.data(), table.size());
}

bool NewArchive::install(platform::Console& console, platform::File* oldArchive) {
    // Set again: writing the file may have cleared set-id bits that create gave it.
    if (permissions_) working_.setPermissions(*permissions_);
    if (working_.commitAndHold(leaf_, true)) return true;
    if (oldArchive != nullptr && oldArchive->isOpen()) {
        oldArchive->close();
        if (working_.commitAndHold(leaf_, true)) return true;
    }
    const std::string kept = leaf_ + ".new";
    const std::string where = working_.keepAs(kept) ? directory_.pathOf(kept) : working_.path();
    console.out("\nError: Could not replace BXA file (%s); it is unchanged, and the rebuilt archive is in %s\n",
                archivePath_.c_str(), where.c_str());
    return false;
}

namespace {

bool recordsLieBackToBack(const TocList& toc, int64_t archiveLength) {
    int64_t expected = static_cast<int64_t>(ArchiveHeaderSize + TocRecordSize * toc.size());
    for (const TocEntry& entry : toc) {
        if (entry.dataOffset != expected || entry.storedSize < 0) return false;
        expected += entry.storedSize;
    }
    return expected <= archiveLength;
}

}  // namespace

bool checkRebuildable(const TocList& toc, int64_t archiveLength, const std::string& archivePath,
                      platform::Console& console) {
    if (!recordsLieBackToBack(toc, archiveLength)) {
        console.out("\nError: BXA file (%s) is not well formed (its records do not lie back to back); "
                    "unpack and pack it to rebuild it\n",
                    archivePath.c_str());
        return false;
    }
    for (const TocEntry& entry : toc) {
        if (entry.name.size() > MaxRecordNameLength) {
            console.out("\nError: Record name (%s) in BXA file (%s) fills its whole table field, which a rebuilt "
                        "archive cannot hold; unpack the archive, rename the file to at most %zu characters and "
                        "pack it\n",
                        printableName(entry.name).c_str(), archivePath.c_str(), MaxRecordNameLength);
            return false;
        }
    }
    return true;
}

bool Rebuild::reportWriteFailure() {
    console_.out("\nError: Could not write the rebuilt BXA file (%s); it is unchanged\n", archive_.archivePath().c_str());
    return false;
}

bool Rebuild::encode(PreparedSource& source, unsigned threads) {
    platform::File& out = archive_.file();
    if (!archive_.reserveTable(toc_.size()) ||
        !archive_.append(old_, plan_.frontStart, plan_.frontEnd - plan_.frontStart)) {
        return reportWriteFailure();
    }
    switch (encodeRecord(source, toc_[plan_.changed], out, console_, CompressThreads{threads})) {
        case EncodeOutcome::Done: break;
        case EncodeOutcome::NoWorkArea: console_.out("\nError: Could not allocate work buffer\n"); return false;
        case EncodeOutcome::TooLarge: console_.out("\nError: The rebuilt BXA file would reach 2 GiB\n"); return false;
        default: return reportWriteFailure();
    }
    if (!assignRunningOffsets(toc_)) {
        console_.out("\nError: The rebuilt BXA file would reach 2 GiB\n");
        return false;
    }
    return true;
}

bool Rebuild::finish() {
    console_.out("\nRepacking...");
    if (!archive_.append(old_, plan_.backStart, plan_.backEnd - plan_.backStart) ||
        !archive_.writeTable(toc_)) {
        return reportWriteFailure();
    }
    return archive_.install(console_, &old_);
}

}  // namespace bxa
