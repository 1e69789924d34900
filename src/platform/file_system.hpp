// The small file-system layer: the only operating-system calls of the product besides File.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace bxa::platform {

// The separator that joins a directory and a file name: '/' on POSIX, '\' on Windows.
char pathSeparator();

// `directory`, the separator, `name`: exactly that, with no normalisation, so that messages show the path
// as it was joined.
std::string joinPath(const std::string& directory, const std::string& name);

// Creates a directory. An existing directory is no error; returns false on any other failure.
bool makeDirectory(const std::string& path);

// Removes a file. A missing file is no error; returns false on any other failure.
bool removeFile(const std::string& path);

// Gives the owner read and write permission (clears the read-only attribute on Windows).
bool makeWritable(const std::string& path);

bool isDirectory(const std::string& path);
bool isRegularFile(const std::string& path);
// Length of a regular file, or nothing when it is missing or not a regular file.
std::optional<int64_t> regularFileLength(const std::string& path);

// A path in the same directory as `path` for a temporary file that will replace it: on the same file
// system, so a rename can put it in place. The name is unique to this process.
std::string temporaryPathBeside(const std::string& path);

// Copies `from` over `to` through a temporary file beside `to` and a rename, so that `to` is never seen
// partly written and a symbolic link at `to` is replaced, not written through. On failure `to` is
// unchanged and no temporary file is left. Returns false on failure.
bool copyFileOver(const std::string& from, const std::string& to);

// Puts `from` in the place of `to` atomically: `to` is at every moment either its old content or the new
// one. Renames when both lie on one file system; otherwise copies to a temporary file beside `to`, renames
// that, and removes `from`. On failure `to` is unchanged and `from` is left where it was.
bool replaceFileAtomically(const std::string& from, const std::string& to);

// Moves `from` to `to`, replacing whatever file is there, without the atomicity of replaceFileAtomically:
// `to` is removed first (so that file systems which flush a file replaced by rename need not). For files
// the program itself has just written. On failure `from` is left where it was.
bool moveFileOver(const std::string& from, const std::string& to);

}  // namespace bxa::platform
