// Files read and written whole, as the stand-in host reads its visitor file
// and writes its sample rules, and as the tests and benchmarks handle rule
// files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The file's bytes; false when it cannot be opened or read whole (`bytes`
// then holds what was read), or holds more than `maxBytes`. Others may go on
// reading and writing it meanwhile.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes,
                   size_t maxBytes = SIZE_MAX);
// The file made anew with `size` bytes; false when they cannot all be written.
bool WriteWholeFile(const std::string& path, const void* bytes, size_t size);
