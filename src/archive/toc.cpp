#include "archive/toc.hpp"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/byte_order.hpp"

namespace bxa {

using platform::File;

void encodeArchiveHeader(const ArchiveHeader& header, uint8_t* out) {
    storeInt32(out + 0, header.tocOffset);
    storeInt32(out + 4, header.headerWord1);
    storeInt32(out + 8, header.headerWord2);
    storeInt32(out + 12, header.entryCount);
}

void encodeTocRecord(const TocRecord& record, uint8_t* out) {
    storeInt32(out + 0, record.originalSize);
    storeInt32(out + 4, record.storedSize);
    storeInt32(out + 8, record.method);
    storeInt32(out + 12, record.dataOffset);
    std::copy(record.name.begin(), record.name.end(), out + 16);
}

TocRecord decodeTocRecord(const uint8_t* in) {
    TocRecord record;
    record.originalSize = loadInt32(in + 0);
    record.storedSize = loadInt32(in + 4);
    record.method = loadInt32(in + 8);
    record.dataOffset = loadInt32(in + 12);
    std::copy(in + 16, in + 16 + NameFieldSize, record.name.begin());
    return record;
}

std::string nameFromField(const std::array<uint8_t, NameFieldSize>& field) {
    auto end = std::find(field.begin(), field.end(), uint8_t{0});
    return std::string(field.begin(), end);
}

void TocList::insertAt(size_t position, TocEntry entry) {
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(std::min(position, entries_.size())),
                    std::move(entry));
}

size_t TocList::find(const std::string& name) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].name == name) return i;
    }
    return entries_.size();
}

namespace {

TocEntry entryFromRecord(const TocRecord& record) {
    TocEntry entry;
    entry.name = nameFromField(record.name);
    entry.dataOffset = record.dataOffset;
    entry.storedSize = record.storedSize;
    entry.method = record.method;
    entry.originalSize = record.originalSize;
    return entry;
}

// header.dat holds the archive's first bytes as read (16, or fewer in a shorter file).
bool copyHeaderBytes(File& archive, const std::string& archivePath, const platform::Directory& workDir,
                     platform::Console& console) {
    const std::string headerPath = workDir.pathOf(HeaderFileName);
    if (!checkNotTheArchive("Header file", headerPath, workDir, HeaderFileName, platform::identityOf(archive),
                            archivePath, console)) {
        return false;
    }
    platform::WorkingFile header = workDir.createWorkingFile();
    if (!header) {
        console.err("\n\nError: Could not open header file (%s)\n\n", headerPath.c_str());
        return false;
    }
    uint8_t bytes[ArchiveHeaderSize];
    std::optional<size_t> got = archive.readAt(0, bytes, sizeof bytes);
    platform::OpenFailure failure = platform::OpenFailure::None;
    if (!got || !header.file().write(bytes, *got) || !header.commit(HeaderFileName, false, &failure)) {
        if (failure == platform::OpenFailure::IsDirectory || failure == platform::OpenFailure::NotRegular) {
            console.err("\n\nError: Could not open header file (%s)\n\n", headerPath.c_str());
        } else {
            console.err("\n\nError: Could not write header file (%s)\n\n", headerPath.c_str());
        }
        return false;
    }
    return true;
}

}  // namespace

bool checkNotTheArchive(const char* what, const std::string& shown, const platform::Directory& directory,
                        std::string_view leaf, const std::optional<platform::FileIdentity>& archive,
                        const std::string& archivePath, platform::Console& console) {
    if (!archive || directory.identityOf(leaf) != archive) return true;
    console.err("\n\nError: %s (%s) would replace the archive being read (%s)\n\n", what, shown.c_str(),
                archivePath.c_str());
    return false;
}

// Reads records from offset 16 until the table's end, which the first record's dataOffset marks. A table
// end that is not on a record boundary, or lies before the first record's end, ends the table at the first
// boundary at or past it; the end of the file ends it too.
void readTableRecords(File& archive, TocList& toc) {
    toc.clear();
    const int64_t fileLength = archive.length().value_or(0);
    constexpr auto RecordSize = static_cast<int64_t>(TocRecordSize);
    // The records are read a block at a time (a large archive's table holds thousands); a block may reach
    // past the table's end into the data, which is never decoded.
    constexpr int64_t RecordsPerRead = 256;
    uint8_t block[RecordsPerRead * TocRecordSize];
    int64_t position = ArchiveHeaderSize;
    std::optional<int64_t> tableEnd;
    while (position + RecordSize <= fileLength && (!tableEnd || position < *tableEnd)) {
        const int64_t wanted = std::min(RecordsPerRead, (fileLength - position) / RecordSize);
        const std::optional<size_t> got = archive.readAt(position, block, static_cast<size_t>(wanted * RecordSize));
        const int64_t records = got ? static_cast<int64_t>(*got) / RecordSize : 0;
        for (int64_t i = 0; i < records && (!tableEnd || position < *tableEnd); ++i) {
            TocRecord record = decodeTocRecord(block + i * RecordSize);
            if (!tableEnd) tableEnd = record.dataOffset;
            toc.append(entryFromRecord(record));
            position += RecordSize;
        }
        if (records < wanted) break;
    }
}

File openArchiveForUpdate(const std::string& archivePath, platform::Console& console, platform::OpenFailure* failure) {
    return platform::openLockedForUpdate(
        archivePath,
        [&] {
            console.out("Waiting for another bxa run to finish with (%s)...\n", archivePath.c_str());
            console.flush();
        },
        failure);
}

bool readTableOfContents(TocList& toc, const std::string& archivePath, const std::string& workDir,
                         platform::Console& console, ArchiveReading& opened, ArchiveAccess access) {
    toc.clear();
    opened.archive = access == ArchiveAccess::Update ? openArchiveForUpdate(archivePath, console)
                                                     : File::openForReading(archivePath);
    if (!opened.archive) {
        console.err("\n\nError: Could not open (%s)\n\n", archivePath.c_str());
        return false;
    }
    const bool made = platform::Directory::make(workDir);
    opened.workDir = platform::Directory::open(workDir);
    console.out("\nReading table of contents...");
    if (!opened.workDir) {
        if (made) {
            console.err("\n\nError: Could not open header file (%s)\n\n", platform::joinPath(workDir, HeaderFileName).c_str());
        } else {
            console.err("\n\nError: Could not create the work directory (%s)\n\n", workDir.c_str());
        }
        return false;
    }
    opened.workDir.removeLeftovers();
    if (!copyHeaderBytes(opened.archive, archivePath, opened.workDir, console)) return false;
    readTableRecords(opened.archive, toc);
    console.out("Done\n");
    return true;
}

std::vector<uint8_t> encodeTableWithOffsets(const TocList& toc) {
    std::vector<uint8_t> bytes(ArchiveHeaderSize + TocRecordSize * toc.size());
    ArchiveHeader header;
    header.entryCount = static_cast<int32_t>(toc.size());
    encodeArchiveHeader(header, bytes.data());
    uint8_t* out = bytes.data() + ArchiveHeaderSize;
    for (const TocEntry& entry : toc) {
        TocRecord record;
        record.originalSize = entry.originalSize;
        record.storedSize = entry.storedSize;
        record.method = entry.method;
        record.dataOffset = entry.dataOffset;
        std::copy_n(entry.name.begin(), std::min(entry.name.size(), MaxRecordNameLength), record.name.begin());
        encodeTocRecord(record, out);
        out += TocRecordSize;
    }
    return bytes;
}

bool assignRunningOffsets(TocList& toc) {
    int64_t offset = static_cast<int64_t>(ArchiveHeaderSize + TocRecordSize * toc.size());
    for (TocEntry& entry : toc) {
        if (offset > INT32_MAX) return false;
        entry.dataOffset = static_cast<int32_t>(offset);
        offset += entry.storedSize;
    }
    return offset <= INT32_MAX;
}

bool writeTableOfContents(File& archive, const TocList& toc) {
    TocList placed = toc;
    if (!assignRunningOffsets(placed)) return false;
    std::vector<uint8_t> bytes = encodeTableWithOffsets(placed);
    return archive.write(bytes.data(), bytes.size());
}

}  // namespace bxa
