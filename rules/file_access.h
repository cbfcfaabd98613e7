// The few file operations the rule file needs, one thin implementation per
// platform: file_access_win32.cpp (Windows) and file_access_posix.cpp
// (everything else). Each compiles to nothing on the other platform.
//
// Paths are UTF-8 text. The Windows side turns them into UTF-16 for the wide
// file calls, and reaches a path too long for those calls' usual limit
// through its "\\?\" form, so a folder of any name and any depth the system
// can open works.
#pragma once

#include <cstddef>
#include <cstdint>

// The longest path the rule file code handles, in UTF-8 bytes with the
// terminator: any path Windows lets a program run from (260 UTF-16 units,
// at most three bytes each) with room for the names kept beside the file.
constexpr size_t RULE_PATH_BYTES = 2048;

struct ReadableFile {
    intptr_t handle;
};

// What tells one version of a file from another without reading it: a
// file that another program wrote or put in place differs in size, in write
// time, or in identity (the volume and the file's number on it, which a
// replacement put in place by a rename never shares with the file it
// replaced, even with the same size and write time).
struct FileStamp {
    bool exists;
    uint64_t size;
    uint64_t writeTime;  // the platform's own units; only compared
    bool identityKnown;
    uint64_t volume;
    uint64_t fileNumber;
};

inline bool SameStamp(const FileStamp& a, const FileStamp& b) {
    if (a.exists != b.exists) return false;
    if (!a.exists) return true;
    if (a.size != b.size || a.writeTime != b.writeTime) return false;
    // A stamp taken where the identity could not be read compares by size
    // and write time alone.
    if (!a.identityKnown || !b.identityKnown) return true;
    return a.volume == b.volume && a.fileNumber == b.fileNumber;
}

// Why a step did not happen. Held is worth trying again shortly (another
// program holds the file open or locked, or is deleting or replacing it);
// every other problem is the answer and waiting does not cure it.
enum class FileProblem {
    None,
    Held,
    ReadOnly,     // the file is marked read-only
    NoRights,     // the user may not write there (also a write-protected disk)
    DiskFull,
    NoFolder,
    PathTooLong,
    Other,
};

enum class OpenOutcome { Opened, Absent, Refused };

// An existing regular file, opened so that others may read it meanwhile but
// not write it. Absent also when its folder is missing.
OpenOutcome OpenExistingForReading(const char* path, ReadableFile* file);
// Size, write time and identity of an open file; false when the system
// cannot say.
bool ReadableFileStamp(ReadableFile file, FileStamp* stamp);
// Reads up to `size` bytes from the start; gives the number actually read.
size_t ReadFromStart(ReadableFile file, void* buffer, size_t size);
void CloseReadable(ReadableFile file);

// A copy-on-write view of a whole open file: it reads as the file did when
// mapped, and what is written into it lands in the process's own pages,
// never in the file; pages never written cost no memory of their own. The
// view keeps the file open as it was opened (on Windows: others may read it
// meanwhile, not write it) until it is unmapped, whatever becomes of the
// ReadableFile.
struct FileView {
    void* bytes;
    size_t size;
    intptr_t file;  // Windows: the view's own handle of the file
};
// Maps the first `size` bytes (the whole file; at least one). False when
// the system cannot map it: no address space for it in a 32-bit process, a
// file system that maps nothing.
bool MapCopyOnWrite(ReadableFile file, uint64_t size, FileView* view);
void UnmapView(const FileView& view);
// A POSIX system lets another program cut a mapped file short (Windows
// refuses while a view lives); a read past its new end would then end the
// program with a bare bus error. After this call such a read ends it with
// `message` on standard error and exit status `status` instead: nothing
// half-read is used. For a program that reads through views (the tool).
void EndCleanlyWhenAViewIsCutShort(const char* message, int status);

// The stamp of the file at `path`; `exists` false when there is none. A
// file whose stamp cannot be had counts as existing with a zero stamp.
FileStamp StampOfPath(const char* path);
bool IsFolder(const char* path);

// `path` made absolute against the current folder, into `full` of `size`
// bytes. False (and `full` unusable) when it does not fit.
bool ResolveFullPath(const char* path, char* full, size_t size);

// The steps of replacing a file, which file_replace.h puts together.
// Whether `path` may be replaced: None when it is absent or free, Held
// while another program holds it, ReadOnly or another problem when not.
FileProblem CheckReplaceable(const char* path);
// Copies `from` to the new file `to`; Other (nothing made) when `to`
// exists, Held when `from` is held or locked elsewhere.
FileProblem CopyToNewFile(const char* from, const char* to);
// Renames `from` to `to`, which must not exist.
bool RenameToNewName(const char* from, const char* to);
// Writes `size` bytes into `temporary` (created or truncated) and makes
// them durable. On POSIX it takes the permissions of the file at
// `permissionsOf` when that is a file (null: a new file's); Windows leaves
// a new file's attributes. On failure the temporary file is removed.
FileProblem WriteTemporary(const char* temporary, const void* data, size_t size,
                           const char* permissionsOf);
// Moves `temporary` over `target` in one step (on POSIX, then syncs the
// folder). `target` is as it was when this fails; the temporary file is
// then still there.
FileProblem ReplaceWithTemporary(const char* temporary, const char* target);
void RemoveFile(const char* path);
void PauseMilliseconds(uint32_t milliseconds);

// Calls `visit` with each name in `folder` (not the paths) that starts with
// `prefix`, in no particular order. Here and below a folder ends with its
// separator, so that a name appended to it makes a path; "" is the current
// folder.
using VisitName = void (*)(void* context, const char* name);
void VisitNamesStartingWith(const char* folder, const char* prefix, VisitName visit,
                            void* context);

// The local date and time, for the names of kept versions.
struct CalendarTime {
    int year, month, day, hour, minute, second;
};
CalendarTime LocalTimeNow();

// A folder of the user's own for a list that could not be written where it
// belongs: on Windows "Torvo" in the local application data folder. Made
// when missing if `make` is set; false when there is none or it does not
// fit `size`.
bool UserRecoveryFolder(char* folder, size_t size, bool make);
