#include <cinttypes>
#include <set>

#include "archive/catalog.hpp"
#include "archive/command_support.hpp"
#include "archive/commands.hpp"
#include "archive/rebuild.hpp"
#include "entry/file_messages.hpp"
#include "entry/record_encoding.hpp"
#include "platform/line_reader.hpp"

namespace bxa {

namespace {

using platform::Console;
using platform::Directory;
using platform::File;

// A catalog name that can be stored and packed back: pack refuses the rest before the archive changes.
bool checkPackableName(const std::string& name, Console& console) {
    switch (recordNameProblem(name)) {
        case NameProblem::TooLong:
            console.err("\n\nError: Record name too long (%s); a name holds at most %zu characters\n\n", name.c_str(),
                        MaxRecordNameLength);
            return false;
        case NameProblem::Escapes:
            console.err("\n\nError: Record name (%s) is absolute or contains '..'; it must name a file in the work "
                        "directory\n\n",
                        name.c_str());
            return false;
        case NameProblem::ControlCharacter:
            console.err("\n\nError: Record name (%s) holds a control character; it cannot be stored\n\n",
                        printableName(name).c_str());
            return false;
        case NameProblem::SideFile:
            console.err("\n\nError: Record name (%s) is the name of a file the unpack writes itself; it cannot be "
                        "packed\n\n",
                        name.c_str());
            return false;
        case NameProblem::WorkingFileName:
            console.err("\n\nError: Record name (%s) has the form of a working file of bxa; it cannot be packed\n\n",
                        name.c_str());
            return false;
        default: return true;
    }
}

struct PackRun {
    TocList& toc;
    const Directory& workDir;
    NewArchive& archive;
    CurrentDirectoryCopies& copies;
    Console& console;
    std::set<std::string> names;
};

bool reportSourceProblem(SourceProblem problem, const std::string& path, Console& console) {
    switch (problem) {
        case SourceProblem::TooLarge:
            console.err("\n\nError: File too large for a BXA file (%s)\n\n", path.c_str());
            break;
        case SourceProblem::NotRegular: reportUnopenableFile(platform::OpenFailure::NotRegular, path, console); break;
        case SourceProblem::LinkInPath: reportUnopenableFile(platform::OpenFailure::LinkInPath, path, console); break;
        case SourceProblem::Unconvertible: break;  // reported where it happened
        default: console.err("\n\nError: Could not open file (%s)\n\n", path.c_str()); break;
    }
    return false;
}

bool reportEncodeFailure(EncodeOutcome outcome, const std::string& path, const std::string& archivePath,
                         Console& console) {
    switch (outcome) {
        case EncodeOutcome::NoWorkArea: console.out("\nError: Could not allocate work buffer\n"); break;
        case EncodeOutcome::ReadFailed: console.err("\n\nError: Could not read file (%s)\n\n", path.c_str()); break;
        case EncodeOutcome::TooLarge:
            console.err("\n\nError: Record too large for a BXA file (%s)\n\n", path.c_str());
            break;
        default:
            console.err("\n\nError: Could not write BXA file (%s); it would reach 2 GiB or the disk is full\n\n",
                        archivePath.c_str());
            break;
    }
    console.err("\nAborting...\n");
    return false;
}

// Encodes one catalog member straight into the new archive and appends its entry. The member is only
// read; a model's binary form is made in a working file of the current directory.
bool encodeMember(PackRun& run, const CatalogLine& line) {
    const std::string path = run.workDir.pathOf(line.name);
    if (!line.name.empty() && !checkPackableName(line.name, run.console)) return false;
    if (!line.name.empty() && !run.names.insert(line.name).second) {
        run.console.err("\n\nError: Record name (%s) is listed twice in the catalog\n\n", line.name.c_str());
        return false;
    }
    PreparedSource source;
    SourceProblem problem = line.name.empty()
                                ? SourceProblem::Missing
                                : prepareSource(run.workDir, line.name, path, run.copies.directory(), run.console, source);
    if (problem != SourceProblem::None) return reportSourceProblem(problem, path, run.console);
    run.copies.protect(source.identity);
    TocEntry entry;
    entry.name = line.name;
    entry.method = line.method;
    entry.originalSize = static_cast<int32_t>(source.size);
    EncodeOutcome outcome = encodeRecord(source, entry, run.archive.file(), run.console);
    if (outcome != EncodeOutcome::Done) return reportEncodeFailure(outcome, path, run.archive.archivePath(), run.console);
    run.toc.append(entry);
    if (!assignRunningOffsets(run.toc)) {
        return reportEncodeFailure(EncodeOutcome::WriteFailed, path, run.archive.archivePath(), run.console);
    }
    if (source.converted) {
        run.copies.keepBinaryForm(std::move(source.binary));
        run.copies.removeTextCopy();
    }
    return true;
}

// Every line of the catalog, the last one too when it has no line end, and with a lone CR as a line end
// as well as LF and CR LF: a catalog saved by any editor lists the same records.
bool encodeCatalogMembers(PackRun& run, File& catalog, const std::string& catalogPath) {
    platform::LineReader reader(catalog, CatalogLineCapacity, platform::LineEnds::LfCrLfOrLoneCr);
    std::vector<CatalogLine> lines;
    while (reader.next()) {
        lines.push_back(parseCatalogLine(reader.line()));
        if (lines.back().outOfRange) {
            run.console.err("\n\nError: Line %zu of the catalog (%s) holds a size or method that does not fit a "
                            "signed 32-bit number: %s\n\n",
                            lines.size(), catalogPath.c_str(), printableName(reader.line()).c_str());
            return false;
        }
    }
    if (reader.readFailed()) {
        run.console.err("\n\nError: Could not read catalog (%s)\n\n", catalogPath.c_str());
        return false;
    }
    if (!run.archive.reserveTable(lines.size())) {
        return reportEncodeFailure(EncodeOutcome::WriteFailed, "", run.archive.archivePath(), run.console);
    }
    for (const CatalogLine& line : lines) {
        if (!encodeMember(run, line)) return false;
    }
    return true;
}

}  // namespace

bool packArchive(TocList& toc, const std::string& archivePath, const std::string& workDir, Console& console) {
    toc.clear();
    if (!checkPathArguments(archivePath, workDir, console)) return false;
    removeLeftoversAround(archivePath);
    const std::string catalogPath = platform::joinPath(workDir, CatalogFileName);
    Directory directory = Directory::open(workDir);
    platform::OpenFailure failure = platform::OpenFailure::Missing;
    File catalog = directory ? directory.openForReading(CatalogFileName, &failure) : File();
    if (!catalog) {
        if (failure == platform::OpenFailure::NotRegular) {
            console.err("\n\nError: Could not open catalog (%s); it is not a regular file\n\n", catalogPath.c_str());
        } else {
            console.err("\n\nError: Could not open catalog (%s)\n\n", catalogPath.c_str());
        }
        return false;
    }
    directory.removeLeftovers();
    // One writer at a time: a pack over an archive that another run is updating waits for it. A new archive
    // has nothing to wait for.
    File locked = openArchiveForUpdate(archivePath, console);
    // The new archive is built beside the old one and renamed over it only once it is complete; like the
    // old one, it is writable by its owner afterwards.
    NewArchive archive;
    if (!archive.create(archivePath, true)) {
        console.err("\n\nError: Could not open BXA file (%s); make sure that it is not read-only\n\n",
                    archivePath.c_str());
        return false;
    }
    console.out("\nReading catalog...");
    CurrentDirectoryCopies copies;
    copies.protect(catalog);
    copies.protect(archive.identity());
    PackRun run{toc, directory, archive, copies, console, {}};
    if (!encodeCatalogMembers(run, catalog, catalogPath)) return false;
    console.out("Done\n");
    console.out("\nPacking files...\n");
    for (const TocEntry& entry : toc) console.out("Packing %s, %" PRId32 " bytes\n", entry.name.c_str(), entry.storedSize);
    if (!archive.writeTable(toc)) {
        console.err("\n\nError: Could not write BXA file (%s)\n\n", archivePath.c_str());
        return false;
    }
    if (!archive.install(console, &locked)) return false;
    console.out("Done\n");
    return true;
}

}  // namespace bxa
