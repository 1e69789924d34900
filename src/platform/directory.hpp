// Directories as open handles, and the working files a run writes before it puts them in place.
//
// A directory the user names is opened once; every file below it is opened, created, renamed and removed
// through that handle, one path component at a time, and a symbolic link on the way is never followed
// (POSIX: openat with O_NOFOLLOW | O_DIRECTORY; Windows: a reparse point on the way is refused). So no
// write lands outside the directory the user named, whatever names an archive or catalog holds.
//
// A working file gets a name unique to the run (".bxa-PID-RANDOM.tmp"), is created exclusively in the
// directory where its content will end up, and is locked while the run lives; putting it in place is a
// rename in that directory. Runs that were killed leave such files behind; removeLeftovers() removes those
// whose run has ended (its process is gone and the file is not locked), never a live run's.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file.hpp"

namespace bxa::platform {

// The separator that joins a directory and a file name: '/' on POSIX, '\' on Windows.
char pathSeparator();

// `directory`, the separator, `name`: exactly that, with no normalisation, so that messages show the path
// as it was joined.
std::string joinPath(const std::string& directory, std::string_view name);

// True for a character that separates path components in a record name: '/' everywhere, and '\' on Windows.
bool isPathSeparator(char c);

// Which file a name refers to, for telling whether two names are one file.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> identityOf(File& file);

// Other is a FIFO, device or socket; Unknown a name whose type could not be learnt (no permission to
// look, a name the file system refuses, ...), which the operation that needs it then reports.
enum class EntryType { Missing, Regular, Directory, SymbolicLink, Other, Unknown };

// The permission bits of a file (POSIX mode bits; the read-only attribute on Windows), its owner and group.
struct FilePermissions {
    uint32_t mode = 0;
    int64_t owner = -1;
    int64_t group = -1;
};
std::optional<FilePermissions> permissionsOf(File& file);

// Opens the file at `path` for reading and takes its exclusive update lock (File::lockExclusive). When
// another process holds it, `beforeWaiting` is called once and the lock awaited. A file that is no longer
// at `path` once the lock is had (the other process put a new one in its place) is let go, and the new one
// opened and locked instead, so the caller always holds the lock of the file now at `path`. Returns a
// closed File, with the reason in `failure`, when the file cannot be opened.
File openLockedForUpdate(const std::string& path, const std::function<void()>& beforeWaiting,
                         OpenFailure* failure = nullptr);

// The file a path names once symbolic links at its end are followed (a link to a link, ...; a relative
// target is taken from the link's directory). The path itself when it is no link, or on Windows.
std::string followLinks(const std::string& path);

// True when `name` has the form of a working file or of a temporary file of earlier versions; such names
// are never records.
bool isWorkingFileName(std::string_view name);

class WorkingFile;

class Directory {
public:
    Directory() = default;
    Directory(Directory&& other) noexcept;
    Directory& operator=(Directory&& other) noexcept;
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;
    ~Directory();

    // Opens the directory at `path`. A symbolic link at `path` itself is followed (the user named it).
    // Returns a closed Directory on failure, with the reason in `failure` when given.
    static Directory open(const std::string& path, OpenFailure* failure = nullptr);
    // The process's current directory; its files are named without a directory in messages.
    static Directory current();
    // The system's directory for temporary files ($TMPDIR or /tmp; the user's temporary folder on Windows).
    static Directory temporary();
    // Creates a directory; an existing directory is no error. Returns false on any other failure.
    static bool make(const std::string& path);
    // Creates the directory `leaf` in this one (an existing directory is no error) and opens it. A symbolic
    // link of that name is refused (OpenFailure::LinkInPath), never followed. Returns a closed Directory
    // on failure.
    Directory makeSubdirectory(std::string_view leaf, OpenFailure* failure = nullptr) const;

    bool isOpen() const;
    explicit operator bool() const { return isOpen(); }
    // The path as the user gave it (empty for the current directory).
    const std::string& path() const { return path_; }
    // The path of `name` in this directory, for messages.
    std::string pathOf(std::string_view name) const;
    std::optional<FileIdentity> identity() const;

    // Opens the directory that holds `name`, a relative name whose components are separated by
    // isPathSeparator characters, and sets `leaf` to its last component. Refuses an empty, absolute or
    // '..' component and a symbolic link on the way (OpenFailure::LinkInPath). `name` without a separator
    // gives a second handle on this directory.
    Directory parentOf(std::string_view name, std::string& leaf, OpenFailure* failure = nullptr) const;

    // Opens a regular file below this directory for reading, as File::openForReading does, resolving the
    // directories on the way as parentOf does. A symbolic link as the last component is followed: reading
    // never changes anything.
    File openForReading(std::string_view name, OpenFailure* failure = nullptr) const;

    // What `leaf`, a name directly in this directory, is; a symbolic link is not followed.
    EntryType typeOf(std::string_view leaf) const;
    std::optional<FileIdentity> identityOf(std::string_view leaf) const;

    // True when `leaf` is not longer than the file names this directory's file system takes.
    bool nameFits(std::string_view leaf) const;

    // Removes the file `leaf`; a missing file is no error. Never removes a directory.
    bool remove(std::string_view leaf) const;

    // Creates a working file in this directory, open for reading and writing. Returns an invalid
    // WorkingFile on failure (`failure` says why).
    WorkingFile createWorkingFile(OpenFailure* failure = nullptr) const;

    // Removes the working files that ended runs left here: those named as isWorkingFileName says, of a
    // process that no longer runs, and not locked by a live run. Returns how many were removed.
    int removeLeftovers() const;

    // Asks the system to put the directory's entries (a rename just made) on the disk. POSIX only; true
    // where there is nothing to do.
    bool sync() const;

private:
    friend class WorkingFile;
    Directory duplicate() const;
    // The directory `component` of this one, never through a symbolic link.
    Directory child(const std::string& component, OpenFailure* failure) const;
#if defined(_WIN32)
    std::string fullPathOf(std::string_view leaf) const;
    bool open_ = false;
#else
    int descriptor_ = -1;
#endif
    std::string path_;
};

// A file being written that is put in place only when complete. Removed when destroyed uncommitted.
class WorkingFile {
public:
    WorkingFile() = default;
    WorkingFile(WorkingFile&&) noexcept = default;
    WorkingFile& operator=(WorkingFile&& other) noexcept;
    WorkingFile(const WorkingFile&) = delete;
    WorkingFile& operator=(const WorkingFile&) = delete;
    ~WorkingFile();

    bool isOpen() const { return file_.isOpen(); }
    explicit operator bool() const { return isOpen(); }
    File& file() { return file_; }
    // Its name in its directory, and its path for messages.
    const std::string& name() const { return name_; }
    std::string path() const { return directory_.pathOf(name_); }

    // Gives the file `permissions` (mode bits, and owner and group where the process may set them).
    // Returns false when the mode bits could not be set.
    bool setPermissions(const FilePermissions& permissions);
    // Takes away the permission bits that `source` lacks, the owner's reading and writing aside: a copy
    // of a file, or what is made of it, is no more readable than the file. (Windows: nothing to do.)
    void restrictPermissionsTo(File& source);

    // Closes the file and renames it to `leaf` in its directory, replacing a regular file or a symbolic
    // link of that name (the link itself, never its target). Refuses a directory or any other kind of
    // file there (`failure` says which). With `durable`, the data is flushed to the disk before the rename
    // and the directory after it, so that a power cut leaves the old file or the complete new one.
    // On failure the working file stays (its path() names it) until discarded or destroyed.
    bool commit(std::string_view leaf, bool durable = false, OpenFailure* failure = nullptr);
    // As commit, but the file stays open, and its update lock held, until the WorkingFile is destroyed, so
    // that a run with work left after putting the file in place (add writes the catalog after the archive)
    // keeps the other runs that would update it waiting until it is done. Windows, which renames only
    // closed files, closes it as commit does.
    bool commitAndHold(std::string_view leaf, bool durable = false, OpenFailure* failure = nullptr);

    // After a failed commit: closes the file and gives it the name `leaf` in its directory, never
    // replacing a file there, so that the user can move it by hand and no later run takes it for a
    // leftover. Returns false when that fails too; the file then stays under its working name.
    bool keepAs(std::string_view leaf);
    // Closes and removes the file.
    void discard();

private:
    friend class Directory;
#if !defined(_WIN32)
    // commit up to the rename: the file is in place and still open.
    bool putInPlace(std::string_view leaf, bool durable, OpenFailure* failure);
#endif
    Directory directory_;
    std::string name_;
    File file_;
    bool kept_ = false;
};

}  // namespace bxa::platform
