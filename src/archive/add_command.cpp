#include <algorithm>

#include "archive/catalog.hpp"
#include "archive/command_support.hpp"
#include "archive/commands.hpp"
#include "archive/rebuild.hpp"
#include "archive/update_support.hpp"
#include "entry/entry_kinds.hpp"

namespace bxa {

namespace {

using platform::Console;

// Names compare byte by byte as unsigned values; a name that is a prefix of another sorts first.
bool sortsAfter(const std::string& name, const std::string& other) {
    return std::lexicographical_compare(other.begin(), other.end(), name.begin(), name.end(),
                                        [](char a, char b) {
                                            return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
                                        });
}

// A name must fit its 32-byte field with a NUL, stay inside the work directory, survive a catalog line
// (which ends a name at white space) and not be one of the work directory's own files.
bool checkNewRecordName(const std::string& name, Console& console) {
    switch (recordNameProblem(name)) {
        case NameProblem::None: return true;
        case NameProblem::TooLong:
            console.out("\nError: File name too long (%s); a record name holds at most %zu characters\n",
                        name.c_str(), MaxRecordNameLength);
            return false;
        case NameProblem::SideFile:
            console.out("\nError: Invalid record name (%s); catalog.dat and header.dat are the work directory's "
                        "own files\n",
                        name.c_str());
            return false;
        case NameProblem::WorkingFileName:
            console.out("\nError: Invalid record name (%s); it has the form of a working file of bxa\n", name.c_str());
            return false;
        default:
            console.out("\nError: Invalid record name (%s); it must be a file name in the work directory, "
                        "without blanks\n",
                        printableName(name).c_str());
            return false;
    }
}

// The record after which the new one goes: inside the group of records with its extension, before the
// first that sorts after it, never in front of the group's first record; the last record when the group
// is absent or runs to the end. Only meaningful for a list that is not empty.
size_t insertionPoint(const TocList& toc, const std::string& name) {
    const std::string ext = extensionOf(name);
    size_t current = 0;
    while (current < toc.size() && extensionOf(toc[current].name) != ext) ++current;
    if (current == toc.size()) return toc.size() - 1;
    for (; current + 1 < toc.size(); ++current) {
        const TocEntry& following = toc[current + 1];
        if (sortsAfter(following.name, name) || extensionOf(following.name) != ext) return current;
    }
    return toc.size() - 1;
}

// The new catalog, made beside the old one and put in place after the new archive.
platform::WorkingFile writeCatalog(const platform::Directory& workDir, const TocList& toc) {
    if (workDir.typeOf(CatalogFileName) == platform::EntryType::Directory ||
        workDir.typeOf(CatalogFileName) == platform::EntryType::Other) {
        return {};
    }
    platform::WorkingFile catalog = workDir.createWorkingFile();
    for (const TocEntry& entry : toc) catalog.file().write(formatCatalogLine(entry));
    if (!catalog || !catalog.file().sync()) return {};
    return catalog;
}

}  // namespace

bool addFile(TocList& toc, const std::string& archivePath, const std::string& workDir, const std::string& recordName,
             Console& console, unsigned threads) {
    toc.clear();
    if (!checkPathArguments(archivePath, workDir, console)) return false;
    if (!checkNewRecordName(recordName, console)) return false;
    removeLeftoversAround(archivePath);
    ArchiveReading reading;
    bool tableRead = readTableOfContents(toc, archivePath, workDir, console, reading, ArchiveAccess::Update);
    if (toc.find(recordName) != toc.size()) {
        console.out("\nError: File already exists in the archive\n");
        return false;
    }
    if (!reading.archive) {
        console.out("\nError: Could not open BXA file (%s); file must exist", archivePath.c_str());
        return false;
    }
    // Without its table the archive would be rebuilt without its records; leave it alone.
    if (!tableRead) return false;
    const int64_t archiveLength = reading.archive.length().value_or(-1);
    if (!checkRebuildable(toc, archiveLength, archivePath, console)) return false;
    RebuildPlan plan;
    plan.frontStart = toc.empty() ? static_cast<int64_t>(ArchiveHeaderSize) : toc[0].dataOffset;
    plan.frontEnd = plan.frontStart;
    if (!toc.empty()) {
        size_t after = insertionPoint(toc, recordName);
        plan.changed = after + 1;
        plan.frontEnd = static_cast<int64_t>(toc[after].dataOffset) + toc[after].storedSize;
    }
    plan.backStart = plan.frontEnd;
    plan.backEnd = toc.empty() ? plan.frontEnd : archiveLength;
    Rebuild rebuild(reading.archive, toc, plan, console);
    if (!rebuild.create(archivePath)) {
        console.out("\nError: Could not open BXA working file\n");
        return false;
    }
    // Declared in this order so that the copies are installed while the source is still open.
    PreparedSource source;
    CurrentDirectoryCopies copies;
    copies.protect(reading.archive);
    copies.protect(rebuild.identity());
    if (!prepareUpdateSource(reading.workDir, recordName, copies, console, source)) return false;
    TocEntry added;
    added.name = recordName;
    added.method = storageMethodFor(reading.workDir.pathOf(recordName), source.text);
    added.originalSize = static_cast<int32_t>(source.size);
    toc.insertAt(plan.changed, added);
    if (!rebuild.encode(source, threads)) return false;
    const std::string catalogPath = reading.workDir.pathOf(CatalogFileName);
    platform::WorkingFile catalog = writeCatalog(reading.workDir, toc);
    if (!catalog) {
        console.err("\nError: Could not open %s\n", catalogPath.c_str());
        return false;
    }
    if (!rebuild.finish()) return false;
    if (!catalog.commit(CatalogFileName, true)) {
        const std::string kept = std::string(CatalogFileName) + ".new";
        const std::string where = catalog.keepAs(kept) ? reading.workDir.pathOf(kept) : catalog.path();
        console.err("\n\nError: The archive (%s) now holds %s, but %s could not be replaced; the new catalog is "
                    "in %s: move it there by hand, or the next pack leaves the record out\n\n",
                    archivePath.c_str(), recordName.c_str(), catalogPath.c_str(), where.c_str());
        return false;
    }
    console.out("Done\n");
    return true;
}

}  // namespace bxa
