#include "lists/text_lines.h"

#include "lists/reason_language.h"
#include "lists/text_codec.h"
#include "lists/text_pieces.h"

#include <algorithm>
#include <cstdint>

namespace {

std::string Utf16AsUtf8(const std::string& bytes, bool bigEndian) {
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<uint8_t>(bytes[i]);
        const auto second = static_cast<uint8_t>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first));
    }
    return EncodeUtf8(units);
}

}  // namespace

// UTF-16 of mostly ASCII text, as lists are: a NUL byte in at least half of
// the even or of the odd positions, and clearly fewer in the others. A stray
// NUL in UTF-8 text is not that.
bool LooksLikeUtf16(const char* bytes, size_t size) {
    size_t nuls[2] = {0, 0};
    for (size_t i = 0; i < size; ++i) nuls[i % 2] += bytes[i] == '\0';
    const size_t more = nuls[0] > nuls[1] ? nuls[0] : nuls[1];
    const size_t fewer = nuls[0] > nuls[1] ? nuls[1] : nuls[0];
    return more > 0 && more * 4 >= size && fewer * 2 < more;
}

bool TextLines(std::string* bytes, std::vector<LineSpan>* lines, std::string* reason) {
    lines->clear();
    std::string& text = *bytes;
    if (StartsWith(text, "\xFF\xFE") || StartsWith(text, "\xFE\xFF")) {
        text = Utf16AsUtf8(text, text[0] == '\xFE');
    } else if (LooksLikeUtf16(text.data(), std::min(text.size(), ENCODING_SAMPLE_BYTES))) {
        *reason = InLanguage(
            "UTF-16 text without a byte order mark: save it as UTF-8, or as UTF-16 with a byte order mark",
            "текст в UTF-16 без метки порядка байтов: сохраните его в UTF-8 "
            "или в UTF-16 с меткой порядка байтов");
        return false;
    } else if (StartsWith(text, "\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    size_t start = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\n' && text[at] != '\r') continue;
        lines->push_back({start, at - start});
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
        start = at + 1;
    }
    if (start < text.size()) lines->push_back({start, text.size() - start});
    return true;
}
