// The tool's file policy through POSIX calls, for native builds.
#ifndef _WIN32

#include "tool/output_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ReasonOfErrno(int error) {
    switch (error) {
        case ENOENT: return "no such file or folder";
        case EACCES:
        case EPERM: return "permission denied";
        case EISDIR: return "it is a folder";
        case ENOTDIR: return "a part of the path is not a folder";
        case ENAMETOOLONG: return "the path is too long";
        default: return std::strerror(error);
    }
}

}  // namespace

std::string RuleFilePath(const std::string& path) { return path; }

std::string WriteTargetOf(const std::string& path) {
    std::string current = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat status;
        if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return current;
        std::string target(static_cast<size_t>(status.st_size > 0 ? status.st_size : 4096) + 1, '\0');
        const ssize_t length = readlink(current.c_str(), &target[0], target.size());
        if (length <= 0 || static_cast<size_t>(length) >= target.size()) return current;
        target.resize(static_cast<size_t>(length));
        current = target[0] == '/' ? target : FolderOf(current) + "/" + target;
    }
    return current;
}

std::string ReadFailureReason(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        return errno == ENOENT ? "no such file" : ReasonOfErrno(errno);
    }
    if (S_ISDIR(status.st_mode)) return "it is a folder";
    if (!S_ISREG(status.st_mode)) return "it is not a plain file";
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return ReasonOfErrno(errno);
    close(descriptor);
    return "it cannot be read";
}

std::string WriteFailureReason(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return "it is a folder";
        if (!S_ISREG(status.st_mode)) return "it is not a plain file";
        if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return "the file is read-only";
    } else if (errno != ENOENT) {
        return ReasonOfErrno(errno);
    }
    const std::string folder = FolderOf(path);
    if (stat(folder.c_str(), &status) != 0) return errno == ENOENT ? "no such folder" : ReasonOfErrno(errno);
    if (!S_ISDIR(status.st_mode)) return "a part of the path is not a folder";
    if (access(folder.c_str(), W_OK) != 0) return "no permission to write in its folder";
    return "the system refused the write (the disk may be full)";
}

#endif  // !_WIN32
