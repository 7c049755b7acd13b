#include "FileSystem.h"

#include "ListingFormat.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

namespace quill {

namespace {

FileOpResult Failure(int code)
{
    return { false, std::strerror(code) };
}

FileOpResult Outcome(int rc)
{
    return rc == 0 ? FileOpResult {} : Failure(errno);
}

bool IsDotName(std::string_view name)
{
    return name == "." || name == "..";
}

FileEntry BaseEntry(std::string name)
{
    FileEntry entry;
    entry.hidden = !name.empty() && name[0] == '.' && !IsDotName(name);
    entry.name = std::move(name);
    return entry;
}

// The entry for `path` relative to the folder `dirFd`, following links. When
// the target cannot be reached (a dangling link) the link itself stands in as
// a file of size 0. Empty when neither the target nor the link can be read;
// `error` then holds the reason.
std::optional<FileEntry> EntryAt(int dirFd, const char* path, std::string name, int& error)
{
    FileEntry entry = BaseEntry(std::move(name));
    struct stat st { };
    if (fstatat(dirFd, path, &st, 0) == 0) {
        entry.directory = S_ISDIR(st.st_mode);
        entry.readOnly = (st.st_mode & S_IWUSR) == 0;
        entry.size = entry.directory ? 0 : static_cast<int64_t>(st.st_size);
        entry.lastWriteUtc = static_cast<int64_t>(st.st_mtim.tv_sec);
        return entry;
    }
    if (fstatat(dirFd, path, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        entry.readOnly = (st.st_mode & S_IWUSR) == 0;
        entry.lastWriteUtc = static_cast<int64_t>(st.st_mtim.tv_sec);
        return entry;
    }
    error = errno;
    return std::nullopt;
}

bool IsRootFolder(int dirFd)
{
    struct stat folder { };
    struct stat root { };
    return fstat(dirFd, &folder) == 0 && stat("/", &root) == 0 && folder.st_dev == root.st_dev
        && folder.st_ino == root.st_ino;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// Renaming without overwriting where the file system cannot do it in one
// step: a hard link fails on an existing name, so link then unlink; for a
// directory (or where hard links are not supported) check first, then rename.
FileOpResult RenameNoReplaceFallback(const char* from, const char* to)
{
    struct stat st { };
    if (lstat(from, &st) != 0)
        return Failure(errno);
    if (!S_ISDIR(st.st_mode)) {
        if (link(from, to) == 0) {
            if (unlink(from) == 0)
                return {};
            const int code = errno;
            unlink(to);
            return Failure(code);
        }
        if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOTSUP)
            return Failure(errno);
    }
    if (lstat(to, &st) == 0)
        return Failure(EEXIST);
    if (errno != ENOENT)
        return Failure(errno);
    return Outcome(rename(from, to));
}

} // namespace

std::vector<FileEntry> FindEntries(const std::string& path)
{
    std::vector<FileEntry> entries;
    if (path.empty())
        return entries;

    std::string folder = ".";
    std::string mask = path;
    if (const auto slash = path.rfind('/'); slash != std::string::npos) {
        folder = path.substr(0, slash + 1);
        mask = path.substr(slash + 1);
    }
    if (mask.empty())
        mask = "*.*";

    const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir)
        return entries;
    const int fd = dirfd(dir.get());

    int error = 0;
    if (!IsRootFolder(fd)) {
        for (const char* dot : { ".", ".." }) {
            if (!MaskMatches(mask, dot))
                continue;
            if (auto entry = EntryAt(fd, dot, dot, error))
                entries.push_back(std::move(*entry));
        }
    }

    for (;;) {
        errno = 0;
        const dirent* item = readdir(dir.get());
        if (item == nullptr)
            break; // the end, or a folder that can no longer be read
        const std::string_view name = item->d_name;
        if (IsDotName(name) || !MaskMatches(mask, name))
            continue;
        if (auto entry = EntryAt(fd, item->d_name, std::string(name), error)) {
            entries.push_back(std::move(*entry));
        } else if (error != ENOENT) {
            // Present but unreadable (no search right on the folder, say):
            // still listed, with what the folder itself tells.
            FileEntry bare = BaseEntry(std::string(name));
            bare.directory = item->d_type == DT_DIR;
            entries.push_back(std::move(bare));
        }
        // ENOENT: removed since the folder was read; left out.
    }
    return entries;
}

std::optional<FileEntry> StatPath(const std::string& path)
{
    if (path.empty())
        return std::nullopt;
    std::string name = path;
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    if (name != "/") {
        if (const auto slash = name.rfind('/'); slash != std::string::npos)
            name.erase(0, slash + 1);
    }
    int error = 0;
    return EntryAt(AT_FDCWD, path.c_str(), std::move(name), error);
}

FileOpResult RemoveFile(const std::string& path)
{
    return Outcome(unlink(path.c_str()));
}

FileOpResult RenameFile(const std::string& from, const std::string& to)
{
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    // EINVAL: a file system without the no-replace flag (or a folder moved
    // into itself, which the fallback refuses in turn).
    if (errno != EINVAL && errno != ENOSYS)
        return Failure(errno);
#endif
    return RenameNoReplaceFallback(from.c_str(), to.c_str());
}

FileOpResult CreateDir(const std::string& path)
{
    return Outcome(mkdir(path.c_str(), 0777));
}

FileOpResult RemoveDir(const std::string& path)
{
    return Outcome(rmdir(path.c_str()));
}

} // namespace quill
