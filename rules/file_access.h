// The few file operations the rule file needs, one thin implementation per
// platform: file_access_win32.cpp (Windows) and file_access_posix.cpp
// (everything else). Each compiles to nothing on the other platform.
#pragma once

#include <cstddef>
#include <cstdint>

struct ReadableFile {
    intptr_t handle;
};

// An existing regular file, opened so that others may read it meanwhile but
// not write it.
bool OpenExistingForReading(const char* path, ReadableFile* file);
// Size in bytes; a size beyond 32 bits counts as the largest 32-bit size.
uint32_t ReadableFileSize(ReadableFile file);
// Reads up to `size` bytes from the start; gives the number actually read.
size_t ReadFromStart(ReadableFile file, void* buffer, size_t size);
void CloseReadable(ReadableFile file);

// Whether `path` may be replaced: it is absent, or it is neither read-only
// nor held open by another program without shared writing.
bool TargetIsReplaceable(const char* path);
// Writes `size` bytes into `temporary` (created or truncated), makes them
// durable and moves the file over `target` in one step. On failure the
// temporary file is removed and `target` is as it was.
bool WriteAndReplace(const char* temporary, const char* target, const void* data, size_t size);
