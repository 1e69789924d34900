// The BXA archive layout and its table of contents in memory.
//
// An archive is a 16-byte ArchiveHeader, one 48-byte TocRecord per record, then the records' stored bytes
// back to back in table order. All integers are 32-bit signed little-endian; names are 32-byte fields padded
// with NUL bytes. There is no magic number and no checksum, so the reader trusts nothing it reads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/console.hpp"
#include "platform/directory.hpp"
#include "platform/file.hpp"

namespace bxa {


// Storage methods: only 1 and 2 are compressed; every other value means stored bytes and is carried
// through unchanged.
inline constexpr int32_t MethodStored = 0;
inline constexpr int32_t MethodCompressedBinary = 1;
inline constexpr int32_t MethodCompressedAscii = 2;
inline constexpr int32_t MethodStoredJfif = 3;
inline constexpr int32_t MethodStoredPng = 5;

inline constexpr size_t ArchiveHeaderSize = 16;
inline constexpr size_t TocRecordSize = 48;
inline constexpr size_t NameFieldSize = 32;
// A stored name keeps at least one terminating NUL inside its field.
inline constexpr size_t MaxRecordNameLength = NameFieldSize - 1;

// The work directory's two side files.
inline constexpr const char* HeaderFileName = "header.dat";
inline constexpr const char* CatalogFileName = "catalog.dat";

struct ArchiveHeader {
    int32_t tocOffset = 16;
    int32_t headerWord1 = 1;
    int32_t headerWord2 = 1;
    int32_t entryCount = 0;
};

struct TocRecord {
    int32_t originalSize = 0;
    int32_t storedSize = 0;
    int32_t method = 0;
    int32_t dataOffset = 0;
    std::array<uint8_t, NameFieldSize> name{};
};

void encodeArchiveHeader(const ArchiveHeader& header, uint8_t* out);
void encodeTocRecord(const TocRecord& record, uint8_t* out);
TocRecord decodeTocRecord(const uint8_t* in);
// The name held by a 32-byte field: its bytes up to the first NUL, never more than 32 bytes.
std::string nameFromField(const std::array<uint8_t, NameFieldSize>& field);

struct TocEntry {
    std::string name;
    int32_t dataOffset = 0;
    int32_t storedSize = 0;
    int32_t method = 0;
    int32_t originalSize = 0;
};

// The ordered table of contents. One list is owned by the driver and handed to each command, which
// empties it first.
class TocList {
public:
    void clear() { entries_.clear(); }
    void append(TocEntry entry) { entries_.push_back(std::move(entry)); }
    // Inserts `entry` so that it becomes the entry at `position` (0 = first, size() = last).
    void insertAt(size_t position, TocEntry entry);
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    TocEntry& operator[](size_t i) { return entries_[i]; }
    const TocEntry& operator[](size_t i) const { return entries_[i]; }
    auto begin() { return entries_.begin(); }
    auto end() { return entries_.end(); }
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }
    // Index of the first entry whose name equals `name` byte for byte, or size() when there is none.
    size_t find(const std::string& name) const;

private:
    std::vector<TocEntry> entries_;
};

// False, after "Error: <what> (<shown>) would replace the archive being read (<archivePath>)" on standard
// error, when the file `leaf` of `directory` is the archive itself, whose identity is `archive` (nothing
// when it is not known): a file written under that name would replace the archive while it is read.
bool checkNotTheArchive(const char* what, const std::string& shown, const platform::Directory& directory,
                        std::string_view leaf, const std::optional<platform::FileIdentity>& archive,
                        const std::string& archivePath, platform::Console& console);

// What readTableOfContents leaves open for the command: the archive, read from its start, and the work
// directory, through which every file of the work directory is made.
struct ArchiveReading {
    platform::File archive;
    platform::Directory workDir;
};

// Empties `toc`, opens the archive, creates and opens the work directory (an existing one is fine), copies
// the archive's first 16 bytes to DIR/header.dat and fills `toc` from the table of contents.
// Returns false, after printing the message to standard error, when the archive cannot be opened (nothing is
// written then) or header.dat cannot be created (`toc` is then empty); the archive stays open in `opened`
// whenever it could be opened.
//
// With ArchiveAccess::Update the archive is opened with its exclusive update lock (replace and add keep it
// until they are done, so that a second writer waits for the first and then works on the archive the
// first one left); a run that has to wait says so first with "Waiting for another bxa run to finish with
// (ARCHIVE)...\n" on standard output.
enum class ArchiveAccess { Read, Update };
bool readTableOfContents(TocList& toc, const std::string& archivePath, const std::string& workDir,
                         platform::Console& console, ArchiveReading& opened,
                         ArchiveAccess access = ArchiveAccess::Read);

// Opens the archive with its update lock (see readTableOfContents), saying so when it has to wait.
platform::File openArchiveForUpdate(const std::string& archivePath, platform::Console& console,
                                    platform::OpenFailure* failure = nullptr);

// Fills `toc` (emptied first) from the table of contents of an open archive.
// Hostile input: the table ends at the first record's dataOffset, at the first whole record at or past it,
// or at the end of the file, whichever comes first; a record cut short by the end of the file is dropped.
// An archive of 16 bytes or fewer gives an empty list. The list never holds more entries than the file has
// room for. Offsets and sizes are not checked here: the commands check each record before they use it.
void readTableRecords(platform::File& archive, TocList& toc);

// Writes the header (16, 1, 1, count) and one record per entry, with dataOffset values running from
// 16 + 48 * count and advancing by each storedSize, at the current position of `archive`.
// Returns false when a write failed. Names must already be known to fit their field (at most 31 bytes).
bool writeTableOfContents(platform::File& archive, const TocList& toc);

// The table as writeTableOfContents writes it, as bytes, with the dataOffset values given in the entries
// themselves (the add command computes them).
std::vector<uint8_t> encodeTableWithOffsets(const TocList& toc);

// The dataOffset that writeTableOfContents gives to each entry: 16 + 48 * count, then a running sum of
// storedSize values. Fails (returns false) when the total would not fit in 32 signed bits.
bool assignRunningOffsets(TocList& toc);

}  // namespace bxa
