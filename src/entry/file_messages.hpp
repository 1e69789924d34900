// The messages for a work-directory file that cannot be opened or put in place, by the reason the file
// system gave. All go to standard error and name the file.
#pragma once

#include <string>

#include "platform/console.hpp"
#include "platform/file.hpp"

namespace bxa {

// "\n\nError: Could not open file (PATH)\n\n", with the reason added where it is one the user can act on:
// a FIFO or device, a symbolic link on the way, a name too long for the file system.
void reportUnopenableFile(platform::OpenFailure failure, const std::string& path, platform::Console& console);

// For a finished file that could not be renamed into place: a directory or a file that is not regular
// stands there (as reportUnopenableFile says), or the write failed ("Could not write file").
void reportUnplaceableFile(platform::OpenFailure failure, const std::string& path, platform::Console& console);

void reportUnwritableFile(const std::string& path, platform::Console& console);

}  // namespace bxa
