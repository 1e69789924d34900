// Turns a work-directory file into a record's stored bytes. The author's file is only ever read: a model's
// text form is parsed into a working file of the run, and the record is encoded from there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "archive/toc.hpp"
#include "entry/entry_kinds.hpp"
#include "entry/stream_pair.hpp"
#include "platform/console.hpp"
#include "platform/directory.hpp"
#include "platform/file.hpp"

namespace bxa {

// A work-directory file opened for encoding.
struct PreparedSource {
    platform::File text;           // the author's file, open for reading
    platform::WorkingFile binary;  // for a model in text form: its binary form, made by the parser
    ModelKind kind = ModelKindNone;
    bool converted = false;
    int64_t size = 0;              // the length of the bytes to encode: the record's originalSize
    std::optional<platform::FileIdentity> identity;  // of the author's file

    // The bytes to encode: the binary form of a converted model, else the file itself.
    platform::File& bytes() { return converted ? binary.file() : text; }
};

enum class SourceProblem {
    None,
    Missing,      // no such file, or a directory where the file should be, or it cannot be opened
    NotRegular,   // a FIFO, device or socket
    LinkInPath,   // a directory on the way is a symbolic link
    TooLarge,     // 2 GiB or more: no room in a record
    Unconvertible,  // the binary form could not be written (message printed)
};

// Opens `name` in `workDir` (`path` is how messages name it). A model file (by the extension of `path`)
// in text form is parsed into a working file made in `binaryDir`; one that holds a NUL byte is a binary
// model already and is encoded as it is. When a model file cannot be opened, the parser's message
// "\nError: Could not open output file (PATH)\n" goes to standard error first, as the parser would print
// it. Returns the problem; every message but that one is the caller's.
SourceProblem prepareSource(const platform::Directory& workDir, std::string_view name, const std::string& path,
                            const platform::Directory& binaryDir, platform::Console& console,
                            PreparedSource& prepared);

// How encodeRecord ended.
enum class EncodeOutcome { Done, WriteFailed, ReadFailed, NoWorkArea, TooLarge };

// Prints "Compressing NAME" and writes the stored bytes of `source` to `out` from its current position
// (the end of an archive being built; the start of a part file, whose bytes of an earlier record past
// them are not part of this one): compressed with binary (method 1) or ASCII (method 2) literals and a
// 4096-byte dictionary, or copied unchanged for any other method. Sets the entry's storedSize to the
// number of bytes written, and leaves `out` flushed and positioned after them. On failure the entry is
// unchanged and `out` may hold a part of the record. A compressed stream is made on the threads `on`
// gives; its bytes are the same for any of them.
EncodeOutcome encodeRecord(PreparedSource& source, TocEntry& entry, platform::File& out,
                           platform::Console& console, const CompressThreads& on = {});

}  // namespace bxa
