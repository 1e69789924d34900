// The archive commands. Each takes the driver's table-of-contents list (which it empties first) and plain
// path strings, prints its own progress and error messages, and returns true on success, false on failure.
#pragma once

#include <optional>
#include <string>

#include "archive/toc.hpp"

namespace bxa {

// -u / -u -f: reads the table of contents, then extracts every record (or only `recordName`) into
// `workDir`, expanding compressed records and turning models into text, and writes header.dat and
// catalog.dat. A name that matches no record is a warning, not a failure. A record whose name would reach
// outside the work directory, or whose data lies outside the archive, stops the unpack with an error; so do
// two records that share stored bytes, before a whole unpack writes any record.
bool unpackArchive(TocList& toc, const std::string& archivePath, const std::string& workDir,
                   const std::optional<std::string>& recordName);

// -p: builds the archive from workDir/catalog.dat and the files it lists, in a temporary file beside the
// archive that replaces it only after complete success; on failure the old archive is unchanged and every
// work-directory file is as it was.
bool packArchive(TocList& toc, const std::string& archivePath, const std::string& workDir);

// -p -f: renews one record from its work-directory file, keeping its place, name and method. The archive
// is replaced atomically and only after the rebuilt one is complete.
bool replaceRecord(TocList& toc, const std::string& archivePath, const std::string& workDir,
                   const std::string& recordName);

// -a -f: adds one work-directory file as a new record placed among the records of its extension, and
// rewrites catalog.dat. The archive is replaced atomically and only after the rebuilt one is complete.
bool addFile(TocList& toc, const std::string& archivePath, const std::string& workDir,
             const std::string& recordName);

// -t: writes header.dat and catalog.dat for the archive without extracting anything. Succeeds whenever
// catalog.dat could be written, also when the archive could not be read (the catalog is then empty).
bool catalogArchive(TocList& toc, const std::string& archivePath, const std::string& workDir);

}  // namespace bxa
