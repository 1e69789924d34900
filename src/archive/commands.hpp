// The archive commands. Each takes the driver's table-of-contents list (which it empties first), plain
// path strings and the console its progress and error messages go to, and returns true on success, false
// on failure.
//
// What every command guarantees: an empty archive path or work directory is refused before anything is
// written; every file of the work directory is written as a working file and renamed into place, through
// the directory the user named and never through a symbolic link in it; the author's files are only read
// by pack, replace and add; only regular files are read or replaced (a FIFO or device gets an error, never
// a wait); working files left by killed runs are removed. Commands that take a thread count work on
// several records (or on one large stream) at once with up to that many threads; everything they leave
// and print is exactly what one thread gives, in the same order.
#pragma once

#include <optional>
#include <string>

#include "archive/toc.hpp"
#include "platform/console.hpp"

namespace bxa {

// -u / -u -f: reads the table of contents, then extracts every record (or only `recordName`) into
// `workDir`, expanding compressed records and turning models into text, and writes header.dat and
// catalog.dat. A name that matches no record is a warning, not a failure. Before any record is written, the
// unpack stops with an error at a record whose name holds a control character (catalog.dat could not list
// it), would reach outside the work directory, would replace catalog.dat, header.dat or the archive being
// read, or has the form of a working file; at one whose data lies outside the archive; and, for a whole
// unpack, at two records that share stored bytes. A name with a blank is extracted with a warning.
bool unpackArchive(TocList& toc, const std::string& archivePath, const std::string& workDir,
                   const std::optional<std::string>& recordName, platform::Console& console, unsigned threads = 1);

// -p: builds the archive from workDir/catalog.dat and the files it lists, in a temporary file beside the
// archive that replaces it only after complete success; on failure the old archive is unchanged and every
// work-directory file is as it was.
bool packArchive(TocList& toc, const std::string& archivePath, const std::string& workDir,
                 platform::Console& console, unsigned threads = 1);

// -p -f: renews one record from its work-directory file, keeping its place, name and method. The archive
// is replaced atomically and only after the rebuilt one is complete.
bool replaceRecord(TocList& toc, const std::string& archivePath, const std::string& workDir,
                   const std::string& recordName, platform::Console& console, unsigned threads = 1);

// -a -f: adds one work-directory file as a new record placed among the records of its extension, and
// rewrites catalog.dat. The archive is replaced atomically and only after the rebuilt one is complete.
bool addFile(TocList& toc, const std::string& archivePath, const std::string& workDir,
             const std::string& recordName, platform::Console& console, unsigned threads = 1);

// -t: writes header.dat and catalog.dat for the archive without extracting anything. Succeeds whenever
// catalog.dat could be written, also when the archive could not be read (the catalog is then empty).
bool catalogArchive(TocList& toc, const std::string& archivePath, const std::string& workDir,
                    platform::Console& console);

}  // namespace bxa
