// Turns a record's stored bytes into the file an author edits.
#pragma once

#include <string>
#include <string_view>

#include "archive/toc.hpp"
#include "platform/console.hpp"
#include "platform/directory.hpp"
#include "platform/file.hpp"

namespace bxa {

// Prints "Decompressing NAME" and makes the record's file from its stored bytes in `archive`, in
// `output`, a fresh working file in `parent`, which the caller renames into place (placeRecordFile) once
// it is complete: the previous file of that name stays whole until then. Methods 1 and 2 are expanded; a
// stream that cannot be expanded is written as stored and the entry's method becomes 0. A model file (by
// the extension of `path`, the file's path as messages show it) that was expanded or flagged as
// compressed is then turned into its text form (in a second working file, which replaces `output`). The
// entry's offset and size must already be known to lie inside the archive; `archive` is only read at
// explicit offsets, so several records may be decoded from it at once.
// Returns false, after printing a message, when the work area cannot be had, the archive cannot be read or
// a write fails (a full disk: the partial file is removed with `output`); the caller then aborts.
bool decodeRecord(platform::File& archive, TocEntry& entry, platform::WorkingFile& output,
                  const platform::Directory& parent, const std::string& path, platform::Console& console);

// Renames the finished file to `leaf`; false, after a message, when a directory or a file that is not
// regular stands there, or the rename fails.
bool placeRecordFile(platform::WorkingFile& file, std::string_view leaf, const std::string& path,
                     platform::Console& console);

}  // namespace bxa
