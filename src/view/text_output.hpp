// Buffered text output to a file, with the number spellings the OBJ, MTL and page-data writers share.
//
// Lines end with LF: these files are read by OBJ importers and browsers, not edited as the work
// directory's text files are, and LF is what all of them take (some OBJ readers keep a CR as part of a
// texture file name).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/directory.hpp"
#include "platform/file.hpp"

namespace bxa::view {

class TextOutput {
public:
    explicit TextOutput(platform::File& file) : file_(file) {}
    TextOutput(const TextOutput&) = delete;
    TextOutput& operator=(const TextOutput&) = delete;
    ~TextOutput() { flush(); }

    TextOutput& text(std::string_view piece);
    TextOutput& character(char c);
    // The shortest decimal that reads back as the same float ("0", "-1.5", "3.4028235e+38"); the caller
    // passes finite values only.
    TextOutput& number(float value);
    TextOutput& number(uint64_t value);
    // A JavaScript string literal: quoted, with quotes, backslashes, control characters and '<' escaped,
    // and each byte of 0x80 or above as the character of that code (names are 8-bit text of no known
    // code page, so they are shown as Latin-1).
    TextOutput& jsString(std::string_view bytes);
    void flush();

private:
    platform::File& file_;
    std::string buffer_;
};

// Every file bxa-view writes is written as a working file of its directory (Directory::createWorkingFile)
// and put in place whole: a run that fails or is killed leaves the earlier file or none, and a symbolic or
// hard link of the file's name is replaced, never written through. This flushes `out` and puts `file` in
// place as `leaf`; false when a write failed or the file could not be put in place (it is then removed).
bool finishOutput(TextOutput& out, platform::WorkingFile& file, std::string_view leaf);

// A name as one OBJ or MTL token: printable ASCII kept, every other byte, a space and '#' made '_';
// `fallback` when the name is empty.
std::string objToken(std::string_view name, std::string_view fallback);

}  // namespace bxa::view
