// Turns a record's stored bytes into the file an author edits.
#pragma once

#include <string>
#include <string_view>

#include "archive/toc.hpp"
#include "platform/console.hpp"
#include "platform/directory.hpp"
#include "platform/file.hpp"

namespace bxa {

// Prints "Decompressing NAME" and writes the record's file from its stored bytes in `archive`, into
// `output`, a fresh working file in `parent`, which is renamed to `leaf` there only once complete: the
// previous file of that name stays whole until then. Methods 1 and 2 are expanded; a stream that cannot be
// expanded is written as stored and the entry's method becomes 0. A model file (by the extension of
// `path`, the file's path as messages show it) that was expanded or flagged as compressed is then turned
// into its text form. The entry's offset and size must already be known to lie inside the archive.
// Returns false, after printing a message, when the work area cannot be had, the archive cannot be read, a
// write fails (a full disk: the partial file is removed) or `leaf` is a directory or not a regular file;
// the caller then aborts the unpack.
bool decodeRecord(platform::File& archive, TocEntry& entry, platform::WorkingFile output,
                  const platform::Directory& parent, std::string_view leaf, const std::string& path,
                  platform::Console& console);

}  // namespace bxa
