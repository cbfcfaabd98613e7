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

}  // namespace

bool OpenExistingForReading(const char* path, ReadableFile* file) {
    // Non-blocking, so that a named pipe cannot hold the open; only regular
    // files are rule files.
    const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return false;
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        return false;
    }
    file->handle = descriptor;
    return true;
}

uint32_t ReadableFileSize(ReadableFile file) {
    struct stat status;
    if (fstat(AsDescriptor(file), &status) != 0 || status.st_size < 0) return 0;
    const auto size = static_cast<uint64_t>(status.st_size);
    return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
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

bool TargetIsReplaceable(const char* path) {
    struct stat status;
    if (stat(path, &status) != 0) return errno == ENOENT;  // absent: created by the move
    if (!S_ISREG(status.st_mode)) return false;
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    return access(path, W_OK) == 0;
}

bool WriteAndReplace(const char* temporary, const char* target, const void* data, size_t size) {
    const int descriptor = open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0) return false;
    const bool durable = WriteAll(descriptor, data, size) && fsync(descriptor) == 0;
    const bool closed = close(descriptor) == 0;
    if (!durable || !closed || rename(temporary, target) != 0) {
        unlink(temporary);
        return false;
    }
    // The new name itself survives a crash once its folder is on disk.
    const int folder = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return true;
}

#endif  // !_WIN32
