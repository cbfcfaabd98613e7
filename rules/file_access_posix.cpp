// Rule file access through POSIX calls, for native builds. A file has no
// share modes here, so a file another program holds open is no obstacle;
// a file without any write permission counts as read-only, as the Windows
// attribute does (also for root, whom the permissions would not stop).
#ifndef _WIN32

#include "rules/file_access.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

int AsDescriptor(ReadableFile file) { return static_cast<int>(file.handle); }

std::string FolderOf(const char* path) {
    const char* slash = std::strrchr(path, '/');
    if (!slash) return ".";
    if (slash == path) return "/";
    return std::string(path, slash);
}

bool WriteAll(int descriptor, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t written = write(descriptor, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

FileStamp StampOf(const struct stat& status) {
    const auto seconds = static_cast<uint64_t>(status.st_mtim.tv_sec);
    return FileStamp{true,
                     static_cast<uint64_t>(status.st_size),
                     seconds * 1000000000u + static_cast<uint64_t>(status.st_mtim.tv_nsec),
                     true,
                     static_cast<uint64_t>(status.st_dev),
                     static_cast<uint64_t>(status.st_ino)};
}

FileProblem ProblemOf(int error) {
    switch (error) {
        case EBUSY:
        case ETXTBSY: return FileProblem::Held;
        case EACCES:
        case EPERM:
        case EROFS: return FileProblem::NoRights;
        case ENOSPC:
        case EDQUOT: return FileProblem::DiskFull;
        case ENOENT:
        case ENOTDIR: return FileProblem::NoFolder;
        case ENAMETOOLONG: return FileProblem::PathTooLong;
        default: return FileProblem::Other;
    }
}

}  // namespace

OpenOutcome OpenExistingForReading(const char* path, ReadableFile* file) {
    // Non-blocking, so that a named pipe cannot hold the open; only regular
    // files are rule files.
    const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return errno == ENOENT || errno == ENOTDIR ? OpenOutcome::Absent : OpenOutcome::Refused;
    }
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        return OpenOutcome::Refused;
    }
    file->handle = descriptor;
    return OpenOutcome::Opened;
}

bool ReadableFileStamp(ReadableFile file, FileStamp* stamp) {
    struct stat status;
    if (fstat(AsDescriptor(file), &status) != 0 || status.st_size < 0) return false;
    *stamp = StampOf(status);
    return true;
}

size_t ReadFromStart(ReadableFile file, void* buffer, size_t size) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    size_t total = 0;
    while (total < size) {
        const ssize_t got = pread(AsDescriptor(file), bytes + total, size - total,
                                  static_cast<off_t>(total));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<size_t>(got);
    }
    return total;
}

void CloseReadable(ReadableFile file) { close(AsDescriptor(file)); }

bool MapCopyOnWrite(ReadableFile file, uint64_t size, FileView* view) {
    if (size == 0 || size > SIZE_MAX) return false;
    // Private: written pages are copies. The mapping holds the file itself,
    // so the descriptor may close.
    void* bytes = mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_PRIVATE,
                       AsDescriptor(file), 0);
    if (bytes == MAP_FAILED) return false;
    *view = FileView{bytes, static_cast<size_t>(size), -1};
    return true;
}

void UnmapView(const FileView& view) { munmap(view.bytes, view.size); }

namespace {

const char* g_cutShortMessage = "";
size_t g_cutShortLength = 0;
int g_cutShortStatus = 2;

void EndCutShort(int) {
    // Only calls that are safe in a signal handler.
    ssize_t written = write(STDERR_FILENO, g_cutShortMessage, g_cutShortLength);
    (void)written;
    _exit(g_cutShortStatus);
}

}  // namespace

void EndCleanlyWhenAViewIsCutShort(const char* message, int status) {
    g_cutShortMessage = message;
    g_cutShortLength = std::strlen(message);
    g_cutShortStatus = status;
    struct sigaction action {};
    action.sa_handler = EndCutShort;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
}

FileStamp StampOfPath(const char* path) {
    struct stat status;
    if (stat(path, &status) != 0) {
        FileStamp stamp{};
        stamp.exists = errno != ENOENT && errno != ENOTDIR;
        return stamp;
    }
    return StampOf(status);
}

bool IsFolder(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

bool ResolveFullPath(const char* path, char* full, size_t size) {
    std::string resolved;
    if (path[0] != '/') {
        char current[4096];
        if (!getcwd(current, sizeof current)) return false;
        resolved = current;
        if (resolved.back() != '/') resolved += '/';
    }
    resolved += path;
    if (resolved.size() >= size) return false;
    std::memcpy(full, resolved.c_str(), resolved.size() + 1);
    return true;
}

FileProblem CheckReplaceable(const char* path) {
    struct stat status;
    if (stat(path, &status) != 0) {
        return errno == ENOENT ? FileProblem::None : ProblemOf(errno);  // absent: made by the rename
    }
    if (!S_ISREG(status.st_mode)) return FileProblem::Other;
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return FileProblem::ReadOnly;
    return access(path, W_OK) == 0 ? FileProblem::None : ProblemOf(errno);
}

FileProblem CopyToNewFile(const char* from, const char* to) {
    const int source = open(from, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (source < 0) return ProblemOf(errno);
    const int copy = open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (copy < 0) {
        const int error = errno;
        close(source);
        return error == EEXIST ? FileProblem::Other : ProblemOf(error);
    }
    char buffer[65536];
    int error = 0;
    for (;;) {
        const ssize_t got = read(source, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error = errno;
        if (got <= 0) break;
        if (!WriteAll(copy, buffer, static_cast<size_t>(got))) {
            error = errno;
            break;
        }
    }
    if (error == 0 && fsync(copy) != 0) error = errno;
    if (close(copy) != 0 && error == 0) error = errno;
    close(source);
    if (error != 0) unlink(to);
    return error == 0 ? FileProblem::None : ProblemOf(error);
}

bool RenameToNewName(const char* from, const char* to) {
    // A hard link fails when `to` exists, unlike rename; then the old name
    // goes. Folders without hard links get a check and a rename.
    if (link(from, to) == 0) {
        unlink(from);
        return true;
    }
    if (errno == EEXIST) return false;
    struct stat status;
    if (lstat(to, &status) == 0 || errno != ENOENT) return false;
    return rename(from, to) == 0;
}

FileProblem WriteTemporary(const char* temporary, const void* data, size_t size,
                           const char* permissionsOf) {
    const int descriptor = open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0) return ProblemOf(errno);
    // Before it is made durable, so that it never stands in the target's
    // place with other permissions. A file system without permissions
    // refuses this; the write goes on.
    struct stat target;
    if (permissionsOf && stat(permissionsOf, &target) == 0 && S_ISREG(target.st_mode)) {
        fchmod(descriptor, target.st_mode & 07777);
    }
    int error = 0;
    if (!WriteAll(descriptor, data, size)) error = errno != 0 ? errno : ENOSPC;
    if (error == 0 && fsync(descriptor) != 0) error = errno;
    if (close(descriptor) != 0 && error == 0) error = errno;
    if (error == 0) return FileProblem::None;
    unlink(temporary);
    return ProblemOf(error);
}

FileProblem ReplaceWithTemporary(const char* temporary, const char* target) {
    if (rename(temporary, target) != 0) return ProblemOf(errno);
    // The new name itself survives a crash once its folder is on disk.
    const int folder = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return FileProblem::None;
}

void RemoveFile(const char* path) { unlink(path); }

void PauseMilliseconds(uint32_t milliseconds) {
    struct timespec pause;
    pause.tv_sec = static_cast<time_t>(milliseconds / 1000);
    pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

void VisitNamesStartingWith(const char* folder, const char* prefix, VisitName visit,
                            void* context) {
    DIR* listing = opendir(folder[0] ? folder : ".");
    if (!listing) return;
    const size_t prefixLength = std::strlen(prefix);
    while (const struct dirent* entry = readdir(listing)) {
        if (std::strncmp(entry->d_name, prefix, prefixLength) == 0) visit(context, entry->d_name);
    }
    closedir(listing);
}

CalendarTime LocalTimeNow() {
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    return CalendarTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                        local.tm_hour,        local.tm_min,     local.tm_sec};
}

bool UserRecoveryFolder(char* folder, size_t size, bool make) {
    std::string path;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/') {
        path = data;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        path = std::string(home) + "/.local/share";
    } else {
        return false;
    }
    path += "/torvo";
    if (make) {
        for (size_t slash = 1; slash != std::string::npos; slash = path.find('/', slash + 1)) {
            mkdir(path.substr(0, slash).c_str(), 0777);
        }
        if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return false;
    } else if (!IsFolder(path.c_str())) {
        return false;
    }
    path += '/';
    if (path.size() >= size) return false;
    std::memcpy(folder, path.c_str(), path.size() + 1);
    return true;
}

#endif  // !_WIN32
