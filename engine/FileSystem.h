// The file system as the engine sees it: directory search with a mask,
// attributes, sizes, last-write times, and the few operations the file
// commands need. Everything OS-specific about files lives behind this header
// (FileSystem_posix.cpp here; a Windows build supplies its own file).
//
// Paths are local paths in the host's style, as bytes (UTF-8 on Linux).
// Nothing here throws: a search that cannot run finds nothing, and the
// operations return a FileOpResult carrying the system's message on failure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quill {

// One entry of a directory search, with the attributes the listings and the
// file commands look at.
//
// On POSIX: `hidden` is a name beginning with "." other than "." and "..";
// `readOnly` is a mode without the owner's write bit; `system` and
// `volumeLabel` are never set. Symbolic links are followed; a link whose
// target is missing is an ordinary file of size 0 with the link's own time.
struct FileEntry {
    std::string name; // the last component only
    bool directory = false;
    bool readOnly = false;
    bool hidden = false;
    bool system = false;
    bool volumeLabel = false;
    int64_t size = 0; // bytes; always 0 for a directory
    int64_t lastWriteUtc = 0; // seconds since 1970-01-01 00:00:00 UTC
};

// Outcome of a file operation: `ok`, or the system's message in `message`.
struct FileOpResult {
    bool ok = true;
    std::string message;

    explicit operator bool() const { return ok; }
};

// Searches `path`, whose last component is a mask matched as MaskMatches()
// does (ListingFormat.h): "*" and "?" wildcards, case-insensitive, "*.*"
// matches every name. A path ending with the separator searches for every
// entry of that folder, as if "*.*" followed it. A path without a separator
// searches the working directory.
//
// Entries come in the order the system's directory reading returns them,
// except that "." and ".." come first; they are found in every folder but the
// root ("/"), as on a drive's root. A folder that does not exist or cannot be
// read yields no entries.
std::vector<FileEntry> FindEntries(const std::string& path);

// The entry for one path, named by its last component (no wildcards; the name
// must match exactly as the file system compares names). Empty when nothing
// exists there. Links are followed as in FindEntries().
std::optional<FileEntry> StatPath(const std::string& path);

// Deletes a file (never a directory).
FileOpResult RemoveFile(const std::string& path);

// Renames or moves a file or directory within one file system. Fails when
// anything already exists under the new name; nothing is ever overwritten.
FileOpResult RenameFile(const std::string& from, const std::string& to);

// Creates one directory; its parent must exist, the directory itself not.
FileOpResult CreateDir(const std::string& path);

// Removes a directory, only when it is empty.
FileOpResult RemoveDir(const std::string& path);

} // namespace quill
