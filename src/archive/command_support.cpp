#include "archive/command_support.hpp"

#include <algorithm>

namespace bxa {

using platform::Directory;

bool checkPathArguments(const std::string& archivePath, const std::string& workDir, platform::Console& console) {
    if (archivePath.empty()) {
        console.err("\n\nError: The BXA file name is empty; nothing was read or written\n\n");
        return false;
    }
    if (workDir.empty()) {
        console.err("\n\nError: The work directory name is empty (give . for the current directory); nothing was "
                    "read or written\n\n");
        return false;
    }
    return true;
}

PathLocation locatePath(const std::string& path) {
    size_t separator = path.size();
    while (separator > 0 && !platform::isPathSeparator(path[separator - 1])) --separator;
    PathLocation location;
    location.leaf = path.substr(separator);
    if (separator == 0) {
        location.directory = Directory::current();
    } else {
        // "/a.BXA" lies in the root directory; "d/a.BXA" in "d".
        std::string directory = path.substr(0, separator == 1 ? 1 : separator - 1);
        location.directory = Directory::open(directory);
    }
    return location;
}

void removeLeftoversAround(const std::string& archivePath) {
    Directory::current().removeLeftovers();
    PathLocation archive = locatePath(archivePath);
    if (archive.directory) archive.directory.removeLeftovers();
}

CurrentDirectoryCopies::CurrentDirectoryCopies() : current_(Directory::current()) {}

CurrentDirectoryCopies::~CurrentDirectoryCopies() { install(); }

void CurrentDirectoryCopies::protect(const std::optional<platform::FileIdentity>& identity) {
    if (identity) protected_.push_back(*identity);
}

void CurrentDirectoryCopies::keepBinaryForm(platform::WorkingFile binary) { binary_ = std::move(binary); }

bool CurrentDirectoryCopies::isProtected(std::string_view leaf) const {
    std::optional<platform::FileIdentity> existing = current_.identityOf(leaf);
    return existing && std::find(protected_.begin(), protected_.end(), *existing) != protected_.end();
}

void CurrentDirectoryCopies::removeExpandedCopy() {
    if (current_.typeOf(ExpandedCopyName) == platform::EntryType::Regular && !isProtected(ExpandedCopyName)) {
        current_.remove(ExpandedCopyName);
    }
}

void CurrentDirectoryCopies::install() {
    if (installed_) return;
    installed_ = true;
    if (source_ != nullptr && source_->converted) {
        if (!isProtected(TextCopyName)) {
            platform::WorkingFile copy = current_.createWorkingFile();
            if (copy) copy.restrictPermissionsTo(source_->text);
            std::optional<int64_t> length = source_->text.length();
            if (copy && length && platform::copyBytes(source_->text, 0, *length, copy.file())) copy.commit(TextCopyName);
        }
        binary_ = std::move(source_->binary);
    } else if (removeText_ && current_.typeOf(TextCopyName) == platform::EntryType::Regular &&
               !isProtected(TextCopyName)) {
        current_.remove(TextCopyName);
    }
    if (binary_ && !isProtected(ExpandedCopyName)) binary_.commit(ExpandedCopyName);
    binary_.discard();
}

}  // namespace bxa
