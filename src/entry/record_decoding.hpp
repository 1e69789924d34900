// Turns an extracted record file, in place, into the form an author edits.
#pragma once

#include <string>

#include "archive/toc.hpp"

namespace bxa {

// The fixed temporary file, in the current directory, that receives expanded bytes and converter output.
inline constexpr const char* ExpandedTempName = "tmp.cmp";

// Prints "Decompressing NAME". For methods 1 and 2, expands the file's stored stream through "tmp.cmp" and
// puts the result in the file's place; a stream that cannot be expanded leaves the stored bytes and sets
// the entry's method to 0. A model file (by extension) that was expanded or flagged as compressed is then
// turned into its text form the same way. "tmp.cmp" is removed before returning true.
// Returns false, after printing a message, when a file cannot be opened, the work area cannot be had, or a
// write fails (a full disk); the caller then aborts the unpack.
bool decodeRecord(const std::string& path, TocEntry& entry);

}  // namespace bxa
