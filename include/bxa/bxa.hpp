// bxa: reading, writing and updating BXA archives.
//
// A BXA archive holds the data files of a body of 3D content, one named record each: models (R7D, R7P,
// R7T), bitmaps, tables and other data, most of them compressed with a fixed-code LZ77 stream. This is the
// whole public interface of the library: the command-line program bxa is built on it and on nothing else.
//
// Contract shared by every call:
//  - Errors are values. A call returns a Status; a failed one carries a message that names the file or
//    record concerned and what is wrong. Nothing is printed: messages go to the caller's MessageCallback,
//    if one is given, in the order and with the text the command line prints them.
//  - Archives, work directories and model files are untrusted input. Every size, count and offset read
//    from them is checked before it is used: hostile input gives a failed Status (or, where the format
//    says so, a best reading of the data), never a crash, a hang, an access outside buffers, or memory
//    beyond what the input justifies. Memory stays bounded whatever the archive's size.
//  - Updates are atomic and durable: an archive is replaced only by a complete new one (built beside it,
//    flushed to the disk, renamed into place), so a killed process or a power cut leaves the old archive
//    or the new one. Work-directory files are written the same way, never through a symbolic link in the
//    work directory, and never outside it. The author's files are only read by pack, replace and add.
//  - Results never depend on the thread count: the same archive bytes, files and messages.
//  - Calls may run concurrently on different archives; on one archive, writers exclude each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#define BXA_API
#else
#define BXA_API __attribute__((visibility("default")))
#endif

namespace bxa {

// ---- Results and messages -----------------------------------------------------------------------------

// The outcome of a call: success, or failure with a message.
class BXA_API Status {
public:
    Status() = default;
    static Status failure(std::string message);

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    // What went wrong (empty on success): the error messages of the call, one per line.
    const std::string& message() const { return message_; }

private:
    bool failed_ = false;
    std::string message_;
};

// The stream the command line prints a message on: progress (and the errors of replace and add) on
// standard output, most other errors on standard error.
enum class Channel { Output, Error };

// Receives every message of a call, in order, exactly as the command line prints it (line ends
// included). Called on the calling thread only.
using MessageCallback = std::function<void(Channel channel, std::string_view text)>;

// A MessageCallback that prints to standard output and standard error, flushing standard output before
// anything goes to standard error so that a console shows both in order.
BXA_API MessageCallback standardStreams();

struct Options {
    MessageCallback messages;  // none: messages are dropped (failures still carry theirs)
    unsigned threads = 0;      // records and streams worked on at once; 0: every processor available
};

// ---- The archive commands -----------------------------------------------------------------------------
// Each does what the command line's command does (shown beside it), with the same messages, files and
// results. `workDir` is the work directory: one file per record, header.dat and catalog.dat.

// bxa -u ARCHIVE DIR: every record into the work directory (compressed records expanded, models as
// text), with header.dat and catalog.dat. A record name that would leave the work directory, replace its
// side files or the archive, or break catalog.dat fails the call before any record is written.
BXA_API Status unpack(const std::string& archive, const std::string& workDir, const Options& options = {});

// bxa -u -f NAME ARCHIVE DIR: only record `name` (catalog.dat still lists every record). A name that
// matches no record is a warning, not a failure.
BXA_API Status unpackRecord(const std::string& archive, const std::string& workDir, const std::string& name,
                            const Options& options = {});

// bxa -t ARCHIVE DIR: header.dat and catalog.dat only.
BXA_API Status catalog(const std::string& archive, const std::string& workDir, const Options& options = {});

// bxa -p ARCHIVE DIR: a new archive from the files catalog.dat lists, in its order, with its methods.
BXA_API Status pack(const std::string& archive, const std::string& workDir, const Options& options = {});

// bxa -p -f NAME ARCHIVE DIR: record `name` renewed from its work-directory file, keeping its place,
// name and method.
BXA_API Status replace(const std::string& archive, const std::string& workDir, const std::string& name,
                       const Options& options = {});

// bxa -a -f NAME ARCHIVE DIR: the work-directory file `name` added as a new record among the records of
// its extension; catalog.dat is rewritten. Fails, with the archive unchanged, for a name already there.
BXA_API Status add(const std::string& archive, const std::string& workDir, const std::string& name,
                   const Options& options = {});

// ---- Reading an archive -------------------------------------------------------------------------------

// One record as the table of contents gives it.
struct RecordInfo {
    std::string name;
    int32_t originalSize = 0;  // the size of the file that was encoded (a model in its binary form)
    int32_t storedSize = 0;    // the bytes the record takes in the archive
    int32_t method = 0;        // 0 stored, 1 compressed (binary literals), 2 compressed (ASCII literals),
                               // 3 and 5 stored images, any other value stored
    int32_t dataOffset = 0;
};

// What read() delivers of a record.
enum class RecordForm {
    Stored,    // the bytes as they are in the archive
    Expanded,  // expanded when compressed (a model in its binary form); a record flagged as compressed
               // whose data is not a stream comes out as stored, as unpack writes it
    Text,      // as Expanded, and a model (by its extension R7D, R7P or R7T) in its commented text form
};

// Receives the bytes of a record in blocks; returning false stops the reading (read() then fails).
using ByteSink = std::function<bool(const uint8_t* data, size_t size)>;

class BXA_API ArchiveReader {
public:
    ArchiveReader();
    ~ArchiveReader();
    ArchiveReader(ArchiveReader&&) noexcept;
    ArchiveReader& operator=(ArchiveReader&&) noexcept;

    // Opens an archive and reads its table of contents. Fails when the file cannot be opened or is not a
    // regular file. Hostile tables: the table ends at the first record's offset, or where the file ends;
    // records are not checked until they are read.
    Status open(const std::string& path);

    // The records, in table order (empty before a successful open).
    const std::vector<RecordInfo>& records() const;

    // Delivers record `index` in `form` to `sink`. Fails for an index out of range, a record whose data
    // lies outside the archive, a read error, or a sink that returned false. The bytes pass through
    // fixed-size blocks (and, for Expanded and Text, temporary files of the system's temporary
    // directory), so no record is held in memory whole.
    Status read(size_t index, RecordForm form, const ByteSink& sink) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// ---- Streams in memory ----------------------------------------------------------------------------------

// The two ways a compressed stream codes its literal bytes.
enum class LiteralCoding { Binary, Ascii };

// Compresses `data` into `stream` (replaced): one stream with a 4096-byte dictionary, bit for bit the
// stream the archive commands store, on up to `threads` threads (0: every processor available).
BXA_API Status compressStream(std::span<const uint8_t> data, LiteralCoding coding, std::vector<uint8_t>& stream,
                              unsigned threads = 1);

// Expands a stream into `data` (replaced). Fails for input that is not a whole stream (too short, a
// header of no known kind, cut before its end); any bit pattern is safe to hand over.
BXA_API Status expandStream(std::span<const uint8_t> stream, std::vector<uint8_t>& data);

}  // namespace bxa
