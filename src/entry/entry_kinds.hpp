// Decisions taken from a file's name (and, for bitmaps, its first bytes). Extensions are compared byte for
// byte: case matters, so "r7d" or "bmp" are not the extensions named here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.hpp"

namespace bxa {

enum ModelKind : int { ModelKindNone = 0, ModelKindR7D = 1, ModelKindR7P = 2, ModelKindR7T = 3 };

// The text after the last '.', the whole text when there is none, empty when the text ends with '.'.
// Callers pass whole paths, so a '.' in a directory name counts when the file name has none.
std::string extensionOf(std::string_view text);

ModelKind modelKindOf(std::string_view path);

// The storage method for a file newly added to an archive, by the extension of `path` and, for "BMP", the
// first bytes of `file` (open for reading; its position is not used): a PNG signature at bytes 1-3 gives
// MethodStoredPng, "JFIF" at bytes 6-9 MethodStoredJfif, anything else 1. Text-like data extensions give
// 2, everything else 1. Bytes the file is too short to hold (or that cannot be read) match nothing.
int32_t storageMethodFor(std::string_view path, platform::File& file);

}  // namespace bxa
