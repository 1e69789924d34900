// Writing an archive: a new archive is made as a working file beside the old one (in the same directory,
// so that putting it in place is a rename) and replaces it only once complete. Pack fills it from a
// catalog; replace and add rebuild it around one changed record, copying the old archive's data around it
// in blocks.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "archive/toc.hpp"
#include "entry/record_encoding.hpp"
#include "platform/console.hpp"
#include "platform/directory.hpp"
#include "platform/file.hpp"

namespace bxa {

// The new archive being written.
class NewArchive {
public:
    // Makes the working file beside `archivePath`, or beside the file a symbolic link there names (the link
    // stays, and its target is replaced). The new archive gets the old one's permission bits, owner and
    // group as far as the process may set them, from the start (so do its part files); `ownerMayWrite`
    // adds the owner's read and write permission (pack clears a read-only mark). Returns false (nothing
    // printed; each command has its own message) when the archive's directory cannot be opened, a
    // directory or another file that is not regular stands at the path, or the working file cannot be
    // created.
    bool create(const std::string& archivePath, bool ownerMayWrite = false);
    // After a failed create: whether the archive's name is longer than its file system allows.
    bool nameTooLong() const { return nameTooLong_; }

    platform::File& file() { return working_.file(); }
    const std::string& archivePath() const { return archivePath_; }
    // The new archive's identity, which it keeps when it takes the old one's place.
    std::optional<platform::FileIdentity> identity() { return platform::identityOf(working_.file()); }

    // A working file beside the new archive for one record's stored bytes, while records are encoded side
    // by side: positioned at its start, and an invalid WorkingFile when none can be made. Part files given
    // back are used again, since making and removing a file for every record costs the file system more
    // than writing the record's bytes; such a file may still hold an earlier record's bytes (at most
    // ReusedPartBytes of them) past those written into it. Both may be called from several threads at once.
    platform::WorkingFile takePartFile();
    // Takes back a part file whose bytes are in the archive; one that cannot be made ready again is removed.
    void givePartFile(platform::WorkingFile part);
    // Removes the part files kept for use again: when records go on one at a time, straight into the
    // archive, they would only hold disk space and open files that the run may need.
    void dropSpareParts();
    // The most bytes a part file given back keeps for the next record to write over.
    static constexpr int64_t ReusedPartBytes = int64_t{1} << 20;

    // Appends `length` bytes of `from` at `offset` to the new archive, in pieces whose writing to the disk
    // starts while the next is copied: the flush before the archive is put in place then has little left
    // to wait for.
    bool append(platform::File& from, int64_t offset, int64_t length);
    // Starts writing to the disk what the new archive holds so far (after a record written into it).
    void startWriteBack() { file().startWriteBack(); }

    // Leaves room for the header and `count` table records; the data follows.
    bool reserveTable(size_t count);
    // Writes the header and the table with the entries' dataOffset values at the start of the file.
    bool writeTable(const TocList& toc);

    // Puts the new archive in the old one's place: its data is flushed to the disk first and the directory
    // after the rename. On failure prints "\nError: Could not replace BXA file (%s); it is unchanged, and
    // the rebuilt archive is in %s\n" on standard output, keeping the new archive under a name of its own.
    // `oldArchive`, when given, is the old archive still open for reading: some systems (Windows) refuse to
    // replace a file that is open, so when the first rename fails it is closed and the rename tried again.
    // The archive put in place stays open, its update lock held, until this NewArchive is destroyed: what
    // the command does after it (add's catalog) is done before another run may update the archive.
    bool install(platform::Console& console, platform::File* oldArchive = nullptr);

private:
    std::string archivePath_;
    std::optional<platform::FilePermissions> permissions_;
    bool nameTooLong_ = false;
    platform::Directory directory_;
    std::string leaf_;
    platform::WorkingFile working_;
    std::mutex partsMutex_;
    std::vector<platform::WorkingFile> spareParts_;
};

// Whether replace and add may rebuild the archive, printing why not on standard output:
//  - its records lie back to back in table order from the end of the table, as every writer lays them out,
//    and end within `archiveLength` (rebuilding copies the data around the changed record in blocks,
//    which is only right for such an archive);
//  - every name fits its table field with a NUL after it, as the writers store names. An older writer
//    could fill the whole field; a rebuild would cut such a name and so rename a record nobody touched.
bool checkRebuildable(const TocList& toc, int64_t archiveLength, const std::string& archivePath,
                      platform::Console& console);

// Where the changed record goes: the old archive's bytes [frontStart, frontEnd) come before it, and
// [backStart, backEnd) after it.
struct RebuildPlan {
    size_t changed = 0;  // the changed record's index in the new table
    int64_t frontStart = 0;
    int64_t frontEnd = 0;
    int64_t backStart = 0;
    int64_t backEnd = 0;
};

// Everything replace and add share, one step each so that a command can act between them.
class Rebuild {
public:
    // `toc` is the new table (the changed entry in place, its method and originalSize set).
    Rebuild(platform::File& oldArchive, TocList& toc, const RebuildPlan& plan, platform::Console& console)
        : old_(oldArchive), toc_(toc), plan_(plan), console_(console) {}

    // The new archive beside the old one; false when it cannot be created (the caller reports it).
    bool create(const std::string& archivePath) { return archive_.create(archivePath); }
    std::optional<platform::FileIdentity> identity() { return archive_.identity(); }

    // Writes the data in front of the changed record and encodes it ("Compressing NAME"). Returns false,
    // after a message on standard output, when a write fails or the archive would reach 2 GiB. The stream
    // is made on up to `threads` threads.
    bool encode(PreparedSource& source, unsigned threads);

    // Prints "\nRepacking...", writes the data behind the changed record and the table, and installs the
    // new archive. Returns false after a message.
    bool finish();

private:
    bool reportWriteFailure();
    NewArchive archive_;
    platform::File& old_;
    TocList& toc_;
    RebuildPlan plan_;
    platform::Console& console_;
};

}  // namespace bxa
