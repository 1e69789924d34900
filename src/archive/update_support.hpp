// What replace and add share before the rebuild: the changed record's source file.
#pragma once

#include <string>

#include "archive/command_support.hpp"
#include "entry/record_encoding.hpp"
#include "platform/console.hpp"
#include "platform/directory.hpp"

namespace bxa {

// Opens DIR/NAME for encoding (a model in text form is parsed into a working file of the current
// directory, which becomes "tmp.cmp" at the end, beside a copy of the text as "tmp.r7"). Returns false,
// after printing "\nError: Could not open source file (%s); file must exist" on standard output (or the
// reason on standard error: a FIFO, a link on the way), when the file cannot be had or is 2 GiB or more.
bool prepareUpdateSource(const platform::Directory& workDir, const std::string& name, CurrentDirectoryCopies& copies,
                         platform::Console& console, PreparedSource& source);

}  // namespace bxa
