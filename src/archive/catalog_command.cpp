#include "archive/catalog.hpp"
#include "archive/command_support.hpp"
#include "archive/commands.hpp"
#include "entry/file_messages.hpp"

namespace bxa {

bool catalogArchive(TocList& toc, const std::string& archivePath, const std::string& workDir,
                    platform::Console& console) {
    toc.clear();
    if (!checkPathArguments(archivePath, workDir, console)) return false;
    removeLeftoversAround(archivePath);
    platform::Directory::make(workDir);
    const std::string catalogPath = platform::joinPath(workDir, CatalogFileName);
    platform::Directory directory = platform::Directory::open(workDir);
    platform::WorkingFile catalog;
    if (directory && directory.typeOf(CatalogFileName) != platform::EntryType::Directory) {
        directory.removeLeftovers();
        catalog = directory.createWorkingFile();
    }
    if (!catalog) {
        console.err("\n\nError: Could not open catalog (%s)\n\n", catalogPath.c_str());
        return false;
    }
    // A failed read has printed its own message and left the list empty: the catalog is then empty.
    ArchiveReading reading;
    readTableOfContents(toc, archivePath, workDir, console, reading);
    if (reading.archive && !checkNotTheArchive("Catalog", catalogPath, directory, CatalogFileName,
                                               platform::identityOf(reading.archive), archivePath, console)) {
        return false;
    }
    for (const TocEntry& entry : toc) {
        if (!checkCatalogCanList(entry.name, console)) return false;
        catalog.file().write(formatCatalogLine(entry));
    }
    platform::OpenFailure failure = platform::OpenFailure::None;
    if (!catalog.commit(CatalogFileName, false, &failure)) {
        reportUnplaceableFile(failure, catalogPath, console);
        return false;
    }
    return true;
}

}  // namespace bxa
