// Whole rule files into memory: read into a block with room for additions
// (the module's list), or mapped copy-on-write (a reader that adds nothing).
// A file is never taken in part.
#include "rules/rule_file.h"

#include "rules/roomy_capacity.h"

#include <cstdlib>

namespace {

// The file opened so that others may read it but not write it, with its
// stamp; nothing stays open unless it gives Read.
RuleFileRead OpenWhole(const char* path, ReadableFile* file, FileStamp* stamp) {
    switch (OpenExistingForReading(path, file)) {
        case OpenOutcome::Opened: break;
        case OpenOutcome::Absent: return RuleFileRead::Absent;
        case OpenOutcome::Refused: return RuleFileRead::Failed;
    }
    if (!ReadableFileStamp(*file, stamp) || stamp->size > 0xFFFFFFFFu) {
        CloseReadable(*file);
        return RuleFileRead::Failed;
    }
    return RuleFileRead::Read;
}

// The whole records of the open file of `size` bytes into a new block.
bool ReadOpenFile(ReadableFile file, uint32_t size, RuleFileContents* contents) {
    const uint32_t count = size / RULE_SIZE;
    // Room for additions comes first (pages never written cost nothing);
    // without memory for it, the exact size.
    uint32_t capacity = RoomyCapacity(count);
    auto* loaded = static_cast<_RULE*>(std::malloc(size_t{capacity} * sizeof(_RULE)));
    if (!loaded && count > 0) {
        capacity = count;
        loaded = static_cast<_RULE*>(std::malloc(size_t{capacity} * sizeof(_RULE)));
    }
    if (!loaded) return false;
    const size_t wanted = size_t{count} * RULE_SIZE;
    const size_t bytesRead = count > 0 ? ReadFromStart(file, loaded, wanted) : 0;
    // A read cut off part-way (a locked range, a dropped share) is no list:
    // taking the records read so far would later replace the file with them.
    if (bytesRead != wanted) {
        std::free(loaded);
        return false;
    }
    const uint32_t trailingBytes = size % RULE_SIZE;
    *contents = RuleFileContents{loaded, count, capacity, trailingBytes};
    return true;
}

}  // namespace

RuleFileRead ReadRuleFileWhole(const char* path, RuleFileContents* contents, FileStamp* stamp) {
    ReadableFile file;
    FileStamp opened;
    const RuleFileRead outcome = OpenWhole(path, &file, &opened);
    if (outcome != RuleFileRead::Read) return outcome;
    const bool read = ReadOpenFile(file, static_cast<uint32_t>(opened.size), contents);
    CloseReadable(file);
    if (!read) return RuleFileRead::Failed;
    *stamp = opened;
    return RuleFileRead::Read;
}

bool ReadRuleRecords(const char* path, RuleFileContents* contents) {
    FileStamp stamp;
    return ReadRuleFileWhole(path, contents, &stamp) == RuleFileRead::Read;
}

bool MapRuleRecords(const char* path, MappedRuleRecords* mapped) {
    ReadableFile file;
    FileStamp stamp;
    if (OpenWhole(path, &file, &stamp) != RuleFileRead::Read) return false;
    const auto size = static_cast<uint32_t>(stamp.size);
    const uint32_t count = size / RULE_SIZE, trailingBytes = size % RULE_SIZE;
    MappedRuleRecords result{nullptr, count, trailingBytes, FileView{}};
    bool had = true;
    if (result.count > 0 && MapCopyOnWrite(file, size, &result.view)) {
        result.records = static_cast<_RULE*>(result.view.bytes);
    } else if (result.count > 0) {
        RuleFileContents contents;
        had = ReadOpenFile(file, size, &contents);
        result.records = had ? contents.records : nullptr;
    }
    CloseReadable(file);
    if (had) *mapped = result;
    return had;
}

void ReleaseRuleRecords(const MappedRuleRecords& mapped) {
    if (mapped.view.bytes) {
        UnmapView(mapped.view);
    } else {
        std::free(mapped.records);
    }
}
