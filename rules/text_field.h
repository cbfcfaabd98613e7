// Lengths of fixed-width text fields. Rule files come from disk and visitor
// records from the host, so a field may lack its terminator: the text then
// ends at the field's end and no reader looks further.
#pragma once

#include <cstddef>

template <typename Char>
inline size_t BoundedLength(const Char* text, size_t width) {
    size_t n = 0;
    while (n < width && text[n] != 0) ++n;
    return n;
}

template <typename Char, size_t Width>
inline size_t FieldLength(const Char (&field)[Width]) {
    return BoundedLength(field, Width);
}
