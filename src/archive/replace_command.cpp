#include "archive/catalog.hpp"
#include "archive/command_support.hpp"
#include "archive/commands.hpp"
#include "archive/rebuild.hpp"
#include "archive/update_support.hpp"

namespace bxa {

bool replaceRecord(TocList& toc, const std::string& archivePath, const std::string& workDir,
                   const std::string& recordName, platform::Console& console, unsigned threads) {
    toc.clear();
    if (!checkPathArguments(archivePath, workDir, console)) return false;
    removeLeftoversAround(archivePath);
    ArchiveReading reading;
    bool tableRead = readTableOfContents(toc, archivePath, workDir, console, reading, ArchiveAccess::Update);
    if (!reading.archive) {
        console.out("\nError: Could not open BXA file (%s); file must exist", archivePath.c_str());
        return false;
    }
    // Without its table the archive cannot be rebuilt with its records; leave it alone.
    if (!tableRead) return false;
    if (recordNameProblem(recordName) == NameProblem::Escapes) {
        console.out("\nError: Record name (%s) is absolute or contains '..'\n", recordName.c_str());
        return false;
    }
    const int64_t archiveLength = reading.archive.length().value_or(-1);
    const size_t index = toc.find(recordName);
    RebuildPlan plan;
    plan.changed = index;
    if (index < toc.size()) {
        plan.frontStart = toc[0].dataOffset;
        plan.frontEnd = toc[index].dataOffset;
        plan.backStart = index + 1 < toc.size() ? toc[index + 1].dataOffset : archiveLength;
        plan.backEnd = archiveLength;
    }
    Rebuild rebuild(reading.archive, toc, plan, console);
    if (!rebuild.create(archivePath)) {
        console.out("\nError: Could not open work file");
        return false;
    }
    // Declared in this order so that the copies are installed while the source is still open.
    PreparedSource source;
    CurrentDirectoryCopies copies;
    copies.protect(reading.archive);
    copies.protect(rebuild.identity());
    if (!prepareUpdateSource(reading.workDir, recordName, copies, console, source)) return false;
    if (index == toc.size()) {
        console.out("\nError: Could not find record (%s); check record name and case\n\n", recordName.c_str());
        return false;
    }
    if (!checkRebuildable(toc, archiveLength, archivePath, console)) return false;
    toc[index].originalSize = static_cast<int32_t>(source.size);
    if (!rebuild.encode(source, threads) || !rebuild.finish()) return false;
    console.out("Done\n");
    return true;
}

}  // namespace bxa
