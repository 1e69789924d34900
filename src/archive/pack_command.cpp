#include <cinttypes>
#include <cstdio>

#include "archive/commands.hpp"
#include "archive/data_copy.hpp"
#include "entry/entry_kinds.hpp"
#include "entry/record_encoding.hpp"
#include "platform/console.hpp"
#include "platform/file.hpp"
#include "platform/file_system.hpp"
#include "platform/line_reader.hpp"

namespace bxa {

namespace {

using platform::File;

constexpr size_t CatalogLineCapacity = 1023;
constexpr size_t CatalogNameCapacity = 127;

struct CatalogLine {
    int32_t method = 0;
    std::string name;
};

// "%ld %ld %s": the first number is ignored (pack measures each file itself); a line without both numbers
// and a name names no file, and its empty name then makes the member path the directory itself.
CatalogLine parseCatalogLine(const std::string& line) {
    long ignoredSize = 0;
    long method = 0;
    char name[CatalogNameCapacity + 1] = {};
    CatalogLine parsed;
    if (std::sscanf(line.c_str(), "%ld %ld %127s", &ignoredSize, &method, name) == 3) {
        parsed.method = static_cast<int32_t>(method);
        parsed.name = name;
    }
    return parsed;
}

bool checkStorableName(const std::string& name) {
    if (name.size() > MaxRecordNameLength) {
        platform::printErr("\n\nError: Record name too long (%s); a name holds at most %zu characters\n\n",
                           name.c_str(), MaxRecordNameLength);
        return false;
    }
    if (!isContainedRecordName(name)) {
        platform::printErr("\n\nError: Record name (%s) is absolute or contains '..'; it must name a file in the work directory\n\n",
                           name.c_str());
        return false;
    }
    return true;
}

// Everything a pack creates besides the archive is removed again when it fails, so a failed pack leaves
// the old archive and the work directory as they were.
class PackTransaction {
public:
    PackTransaction(std::string newArchivePath, const std::string& workDir, const TocList& toc)
        : newArchivePath_(std::move(newArchivePath)), workDir_(workDir), toc_(toc) {}
    PackTransaction(const PackTransaction&) = delete;
    PackTransaction& operator=(const PackTransaction&) = delete;
    ~PackTransaction() {
        if (committed_) return;
        platform::removeFile(newArchivePath_);
        for (const TocEntry& entry : toc_) platform::removeFile(encodedCopyPath(workDir_, entry.name));
    }
    void commit() { committed_ = true; }

private:
    std::string newArchivePath_;
    const std::string& workDir_;
    const TocList& toc_;
    bool committed_ = false;
};

// Encodes one catalog member into its xcmp_ copy and appends its entry. A model file is back in its text
// form when this returns, whatever happened.
bool encodeMember(TocList& toc, const std::string& workDir, const CatalogLine& line) {
    if (!line.name.empty() && !checkStorableName(line.name)) return false;
    std::string path = platform::joinPath(workDir, line.name);
    ModelPreparation preparation = prepareModelSource(path);
    if (preparation == ModelPreparation::Failed) return false;
    std::optional<int64_t> size = platform::regularFileLength(path);
    if (!size) {
        restoreModelSource(path, preparation);
        platform::printErr("\n\nError: Could not open file (%s)\n\n", path.c_str());
        return false;
    }
    if (*size > INT32_MAX) {
        restoreModelSource(path, preparation);
        platform::printErr("\n\nError: File too large for a BXA file (%s)\n\n", path.c_str());
        return false;
    }
    TocEntry entry;
    entry.name = line.name;
    entry.method = line.method;
    entry.originalSize = static_cast<int32_t>(*size);
    toc.append(entry);
    bool encoded = encodeRecord(workDir, toc[toc.size() - 1]);
    if (!encoded) platform::printErr("\nAborting...\n");
    // The saved text form goes only once it is back in the work directory.
    bool restored = restoreModelSource(path, preparation);
    if (restored && modelKindOf(path) != ModelKindNone) platform::removeFile(SavedTextTempName);
    return encoded && restored;
}

bool encodeCatalogMembers(TocList& toc, File& catalog, const std::string& workDir) {
    platform::LineReader reader(catalog, CatalogLineCapacity);
    for (;;) {
        reader.next();
        // A last line without a line end is not packed.
        if (!reader.lineEnded()) return true;
        if (!encodeMember(toc, workDir, parseCatalogLine(reader.line()))) return false;
    }
}

bool appendEncodedCopy(File& archive, const std::string& workDir, const TocEntry& entry) {
    platform::printOut("Packing %s, %" PRId32 " bytes\n", entry.name.c_str(), entry.storedSize);
    std::string copyPath = encodedCopyPath(workDir, entry.name);
    File copy = File::openForReading(copyPath);
    if (!copy) {
        platform::printErr("\n\nError: Could not open file (%s)\n\n", copyPath.c_str());
        return false;
    }
    // The table already gives storedSize for this record; a copy of any other length would misplace
    // every record behind it.
    if (copy.length() != std::optional<int64_t>(entry.storedSize) ||
        !copyRange(copy, 0, entry.storedSize, archive)) {
        platform::printErr("\n\nError: Could not copy file (%s) into the BXA file\n\n", copyPath.c_str());
        return false;
    }
    copy.close();
    platform::removeFile(copyPath);
    return true;
}

}  // namespace

bool packArchive(TocList& toc, const std::string& archivePath, const std::string& workDir) {
    toc.clear();
    std::string catalogPath = platform::joinPath(workDir, "catalog.dat");
    File catalog = File::openForReading(catalogPath);
    if (!catalog) {
        platform::printErr("\n\nError: Could not open catalog (%s)\n\n", catalogPath.c_str());
        return false;
    }
    platform::makeWritable(archivePath);
    // The new archive is built beside the old one and renamed over it only once it is complete.
    std::string newArchivePath = platform::temporaryPathBeside(archivePath);
    // Made before the new archive's File so that the File is closed before a failed pack removes it: a file
    // still open cannot be removed on every system.
    PackTransaction transaction(newArchivePath, workDir, toc);
    File archive;
    if (!platform::isDirectory(archivePath)) archive = File::createForWriting(newArchivePath);
    if (!archive) {
        platform::printErr("\n\nError: Could not open BXA file (%s); make sure that it is not read-only\n\n",
                           archivePath.c_str());
        return false;
    }
    platform::printOut("\nReading catalog...");
    if (!encodeCatalogMembers(toc, catalog, workDir)) return false;
    platform::printOut("Done\n");
    platform::printOut("\nPacking files...\n");
    if (!writeTableOfContents(archive, toc)) {
        platform::printErr("\n\nError: Could not write BXA file (%s); it would reach 2 GiB or the disk is full\n\n",
                           archivePath.c_str());
        return false;
    }
    for (const TocEntry& entry : toc) {
        if (!appendEncodedCopy(archive, workDir, entry)) return false;
    }
    if (!archive.close()) {
        platform::printErr("\n\nError: Could not write BXA file (%s)\n\n", archivePath.c_str());
        return false;
    }
    if (!platform::replaceFileAtomically(newArchivePath, archivePath)) {
        platform::printErr("\n\nError: Could not replace BXA file (%s)\n\n", archivePath.c_str());
        return false;
    }
    transaction.commit();
    platform::printOut("Done\n");
    return true;
}

}  // namespace bxa
