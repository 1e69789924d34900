// catalog.dat, the work directory's list of records, and the rules a record name must follow to travel
// between an archive, the work directory and that list.
//
// A catalog line is "originalSize method name" with a CR LF line end; pack reads the method and the name
// back (the size is measured anew). A name ends at white space, so a name with a blank or a control
// character cannot travel through the catalog.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/toc.hpp"
#include "platform/console.hpp"
#include "platform/file.hpp"

namespace bxa {

// Catalog lines are read with at most this many characters, and a name with at most this many.
inline constexpr size_t CatalogLineCapacity = 1023;
inline constexpr size_t CatalogNameCapacity = 127;

std::string formatCatalogLine(const TocEntry& entry);

struct CatalogLine {
    int32_t method = 0;
    std::string name;  // empty when the line names no file (a blank line, or one without both numbers)
    // The size the line lists. Only a hint of the work the record takes: what is packed is the file.
    int64_t listedSize = 0;
    // A size or method beyond the signed 32 bits of the table's fields: the line cannot be packed.
    bool outOfRange = false;
};

// Reads a line as "%ld %ld %s" would: white space, a decimal number with an optional sign (the size,
// kept only as a hint), white space, the method, white space, then the name (its first 127 characters).
// A line without both numbers and a name names no file. A number of any length is read whole, so one
// that does not fit in 32 bits is told, not cut.
CatalogLine parseCatalogLine(std::string_view line);

// What is wrong with a record name, as a file name in the work directory and as a catalog entry.
enum class NameProblem {
    None,
    Empty,
    TooLong,           // more than 31 bytes: no room for the terminating NUL of the table's field
    ControlCharacter,  // CR, LF, TAB, DEL and the like: a catalog line could not carry it, or would break
    Blank,             // a space: extracted, but the catalog cannot carry it back to pack
    Escapes,           // absolute, or with a '..' (or empty) component: it would leave the work directory
    SideFile,          // catalog.dat or header.dat (any case on Windows): the work directory's own files
    WorkingFileName,   // the form of a working file, which a later run would take for a leftover
};

// The first problem of `name` in this order: Empty, ControlCharacter, Escapes, SideFile, WorkingFileName,
// Blank, TooLong. Every component of a name with separators is checked.
NameProblem recordNameProblem(std::string_view name);

// The file that a record name (one recordNameProblem lets through) lands on in the work directory, as a
// string that is equal for two names exactly when they land on one file: its components joined by '/',
// on Windows without case or the dots and blanks that end them (elsewhere the name itself).
std::string workFileKey(std::string_view name);

// `name` with every byte below 0x20 or 0x7F written as \xNN, for messages.
std::string printableName(std::string_view name);

// False, after the error on standard error, for a name that catalog.dat could not list (it holds a control
// character, which would end or break its line).
bool checkCatalogCanList(std::string_view name, platform::Console& console);

}  // namespace bxa
