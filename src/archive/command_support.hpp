// What every archive command does around its own work: refusing empty paths, finding the archive's
// directory, removing what killed runs left behind, and the two files "tmp.cmp" and "tmp.r7" that the
// commands leave in the current directory.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "entry/record_encoding.hpp"
#include "platform/console.hpp"
#include "platform/directory.hpp"
#include "platform/file.hpp"

namespace bxa {

// The two files of the current directory: a model's binary form after pack, replace and add, its text
// form after replace and add.
inline constexpr const char* ExpandedCopyName = "tmp.cmp";
inline constexpr const char* TextCopyName = "tmp.r7";

// Refuses an empty archive path or work directory (an unset shell variable, say) before anything is
// written: one line on standard error, then false.
bool checkPathArguments(const std::string& archivePath, const std::string& workDir, platform::Console& console);

// The directory that holds a path's last component, and that component.
struct PathLocation {
    platform::Directory directory;
    std::string leaf;
};
// Splits `path` at its last separator; a path without one lies in the current directory.
PathLocation locatePath(const std::string& path);

// Removes the working files that killed runs left in the current directory and beside the archive.
void removeLeftoversAround(const std::string& archivePath);

// "tmp.cmp" and "tmp.r7" as the commands leave them in the current directory. They are written once, at
// the end, by rename, and never over one of the run's own files (the archive, a file of the work
// directory that was read), which may carry those names.
class CurrentDirectoryCopies {
public:
    CurrentDirectoryCopies();
    CurrentDirectoryCopies(const CurrentDirectoryCopies&) = delete;
    CurrentDirectoryCopies& operator=(const CurrentDirectoryCopies&) = delete;
    // Installs what is kept.
    ~CurrentDirectoryCopies();

    // Where the binary forms of models are made, so that the last one can become "tmp.cmp" by a rename.
    const platform::Directory& directory() const { return current_; }

    // A file of the run that "tmp.cmp" and "tmp.r7" must never replace.
    void protect(const std::optional<platform::FileIdentity>& identity);
    void protect(platform::File& file) { protect(platform::identityOf(file)); }

    // The binary form of the model just encoded becomes "tmp.cmp"; one kept before is dropped.
    void keepBinaryForm(platform::WorkingFile binary);
    // Replace and add: a converted model's binary form becomes "tmp.cmp" and a copy of its text form
    // "tmp.r7". `source` must outlive this object (or its install()).
    void keepModelForms(PreparedSource& source) { source_ = &source; }
    // "tmp.r7" is removed at the end (pack, after it converted a model).
    void removeTextCopy() { removeText_ = true; }
    // Removes a stale "tmp.cmp" now (unpack, before the first record).
    void removeExpandedCopy();

    void install();

private:
    bool isProtected(std::string_view leaf) const;
    platform::Directory current_;
    std::vector<platform::FileIdentity> protected_;
    platform::WorkingFile binary_;
    PreparedSource* source_ = nullptr;
    bool removeText_ = false;
    bool installed_ = false;
};

}  // namespace bxa
