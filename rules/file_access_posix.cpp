// Rule file access through POSIX calls, for native builds. A file has no
// share modes here, so a file another program holds open is no obstacle;
// a file without any write permission counts as read-only, as the Windows
// attribute does (also for root, whom the permissions would not stop).
#ifndef _WIN32

#include "rules/file_access.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string>
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
    return FileStamp{true, static_cast<uint64_t>(status.st_size),
                     seconds * 1000000000u + static_cast<uint64_t>(status.st_mtim.tv_nsec)};
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

FileStamp StampOfPath(const char* path) {
    struct stat status;
    if (stat(path, &status) != 0) return FileStamp{errno != ENOENT && errno != ENOTDIR, 0, 0};
    return StampOf(status);
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

FileStep CheckReplaceable(const char* path) {
    struct stat status;
    if (stat(path, &status) != 0) {
        return errno == ENOENT ? FileStep::Done : FileStep::Failed;  // absent: made by the rename
    }
    if (!S_ISREG(status.st_mode)) return FileStep::Failed;
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return FileStep::Failed;
    return access(path, W_OK) == 0 ? FileStep::Done : FileStep::Failed;
}

FileStep CopyToNewFile(const char* from, const char* to) {
    const int source = open(from, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (source < 0) return FileStep::Failed;
    const int copy = open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (copy < 0) {
        close(source);
        return FileStep::Failed;
    }
    char buffer[65536];
    bool copied = true;
    for (;;) {
        const ssize_t got = read(source, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) copied = false;
        if (got <= 0) break;
        if (!WriteAll(copy, buffer, static_cast<size_t>(got))) {
            copied = false;
            break;
        }
    }
    copied = copied && fsync(copy) == 0;
    copied = close(copy) == 0 && copied;
    close(source);
    if (!copied) unlink(to);
    return copied ? FileStep::Done : FileStep::Failed;
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

bool WriteTemporary(const char* temporary, const void* data, size_t size) {
    const int descriptor = open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0) return false;
    const bool durable = WriteAll(descriptor, data, size) && fsync(descriptor) == 0;
    const bool closed = close(descriptor) == 0;
    if (durable && closed) return true;
    unlink(temporary);
    return false;
}

FileStep ReplaceWithTemporary(const char* temporary, const char* target) {
    if (rename(temporary, target) != 0) {
        return errno == EBUSY || errno == ETXTBSY ? FileStep::Busy : FileStep::Failed;
    }
    // The new name itself survives a crash once its folder is on disk.
    const int folder = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return FileStep::Done;
}

void RemoveFile(const char* path) { unlink(path); }

void PauseMilliseconds(uint32_t milliseconds) {
    struct timespec pause;
    pause.tv_sec = static_cast<time_t>(milliseconds / 1000);
    pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

#endif  // !_WIN32
