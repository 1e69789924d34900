#include "archive/commands.hpp"
#include "platform/console.hpp"
#include "platform/file.hpp"
#include "platform/file_system.hpp"

namespace bxa {

bool catalogArchive(TocList& toc, const std::string& archivePath, const std::string& workDir) {
    toc.clear();
    platform::makeDirectory(workDir);
    std::string catalogPath = platform::joinPath(workDir, "catalog.dat");
    platform::File catalog = platform::File::createForWriting(catalogPath);
    if (!catalog) {
        platform::printErr("\n\nError: Could not open catalog (%s)\n\n", catalogPath.c_str());
        return false;
    }
    // A failed read has printed its own message and left the list empty: the catalog is then empty.
    readTableOfContents(toc, archivePath, workDir);
    for (const TocEntry& entry : toc) catalog.write(formatCatalogLine(entry));
    if (!catalog.close()) {
        platform::printErr("\n\nError: Could not write catalog (%s)\n\n", catalogPath.c_str());
        return false;
    }
    return true;
}

}  // namespace bxa
