// Decisions taken from a file's name (and, for bitmaps, its first bytes). Extensions are compared byte for
// byte: case matters, so "r7d" or "bmp" are not the extensions named here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace bxa {

enum ModelKind : int { ModelKindNone = 0, ModelKindR7D = 1, ModelKindR7P = 2, ModelKindR7T = 3 };

// The text after the last '.', the whole text when there is none, empty when the text ends with '.'.
// Callers pass whole paths, so a '.' in a directory name counts when the file name has none.
std::string extensionOf(std::string_view text);

ModelKind modelKindOf(std::string_view path);

// The storage method for a file newly added to an archive: "BMP" by content (PNG signature at bytes 1-3:
// MethodStoredPng; "JFIF" at bytes 6-9: MethodStoredJfif; else 1), text-like data extensions 2, everything
// else 1. A file that cannot be read counts as one whose bytes match nothing.
int32_t storageMethodFor(const std::string& path);

// True when `name`, used as a file name inside the work directory, stays inside it: not empty, not absolute,
// and no '..' component (with '/' and, on Windows, '\' as separators).
bool isContainedRecordName(std::string_view name);

}  // namespace bxa
