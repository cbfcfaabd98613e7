// The few file operations the rule file needs, one thin implementation per
// platform: file_access_win32.cpp (Windows) and file_access_posix.cpp
// (everything else). Each compiles to nothing on the other platform.
#pragma once

#include <cstddef>
#include <cstdint>

struct ReadableFile {
    intptr_t handle;
};

// What tells one version of a file from another without reading it: a
// file that another program wrote or put in place differs in size or in
// write time.
struct FileStamp {
    bool exists;
    uint64_t size;
    uint64_t writeTime;  // the platform's own units; only compared
};

inline bool SameStamp(const FileStamp& a, const FileStamp& b) {
    return a.exists == b.exists && a.size == b.size && a.writeTime == b.writeTime;
}

// The outcome of one step that another program can hold up: Busy when the
// file is held open or locked elsewhere (worth trying again shortly),
// Failed for anything that waiting does not cure.
enum class FileStep { Done, Busy, Failed };

enum class OpenOutcome { Opened, Absent, Refused };

// An existing regular file, opened so that others may read it meanwhile but
// not write it. Absent also when its folder is missing.
OpenOutcome OpenExistingForReading(const char* path, ReadableFile* file);
// Size and write time of an open file; false when the system cannot say.
bool ReadableFileStamp(ReadableFile file, FileStamp* stamp);
// Reads up to `size` bytes from the start; gives the number actually read.
size_t ReadFromStart(ReadableFile file, void* buffer, size_t size);
void CloseReadable(ReadableFile file);

// The stamp of the file at `path`; `exists` false when there is none. A
// file whose stamp cannot be had counts as existing with a zero stamp.
FileStamp StampOfPath(const char* path);

// `path` made absolute against the current folder, into `full` of `size`
// bytes. False (and `full` unusable) when it does not fit.
bool ResolveFullPath(const char* path, char* full, size_t size);

// Whether `path` may be replaced: Done when it is absent or free, Busy when
// another program holds it, Failed when it is read-only or not a file.
FileStep CheckReplaceable(const char* path);
// Copies `from` to the new file `to`; Failed (nothing made) when `to`
// exists, Busy when `from` is held or locked elsewhere.
FileStep CopyToNewFile(const char* from, const char* to);
// Renames `from` to `to`, which must not exist.
bool RenameToNewName(const char* from, const char* to);
// Writes `size` bytes into `temporary` (created or truncated) and makes
// them durable. On failure the temporary file is removed.
bool WriteTemporary(const char* temporary, const void* data, size_t size);
// Moves `temporary` over `target` in one step. `target` is as it was when
// this fails; the temporary file is then still there.
FileStep ReplaceWithTemporary(const char* temporary, const char* target);
void RemoveFile(const char* path);
void PauseMilliseconds(uint32_t milliseconds);
