#include "lists/rule_words.h"

#include "rules/rule.h"
#include "rules/rule_texts.h"
#include "lists/text_codec.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Keywords and English phrases; the Russian phrases are the editor's own
// choice-list texts (rules/rule_texts.h), in the same order.
struct ValueWords {
    int32_t value;
    const char* keyword;
    const char* english;
};

constexpr ValueWords SEARCH_WORDS[] = {
    {SEARCH_NAME, "name", "name"},
    {SEARCH_IP, "ip", "IP"},
    {SEARCH_NAME_AND_IP, "name-and-ip", "name and IP"},
    {SEARCH_NAME_OR_IP, "name-or-ip", "name or IP"},
};

constexpr ValueWords STATUS_WORDS[] = {
    {STATUS_UNCHANGED, "unchanged", "unchanged"},
    {STATUS_ALLOW_ALL, "allow-all", "everything allowed"},
    {STATUS_NO_PRIVATE, "no-private", "private messages forbidden"},
    {STATUS_IGNORE, "ignore", "ignored"},
};

template <size_t N, size_t M>
constexpr bool SameValues(const ValueWords (&words)[N], const RuleValueText (&texts)[M]) {
    if (N != M) return false;
    for (size_t i = 0; i < N; ++i) {
        if (words[i].value != texts[i].value) return false;
    }
    return true;
}
static_assert(SameValues(SEARCH_WORDS, SEARCH_TYPE_TEXTS), "search words follow the editor's table");
static_assert(SameValues(STATUS_WORDS, STATUS_TEXTS), "status words follow the editor's table");

// The editor's UTF-16 texts as UTF-8, converted once.
template <size_t N>
std::array<std::string, N> Utf8Texts(const RuleValueText (&texts)[N]) {
    std::array<std::string, N> utf8;
    for (size_t i = 0; i < N; ++i) utf8[i] = EncodeUtf8(texts[i].text);
    return utf8;
}

const std::string& RussianSearchWords(size_t index) {
    static const auto texts = Utf8Texts(SEARCH_TYPE_TEXTS);
    return texts[index];
}

const std::string& RussianStatusWords(size_t index) {
    static const auto texts = Utf8Texts(STATUS_TEXTS);
    return texts[index];
}

template <size_t N>
const ValueWords* Find(const ValueWords (&table)[N], int32_t value) {
    for (const ValueWords& words : table) {
        if (words.value == value) return &words;
    }
    return nullptr;
}

// ASCII letters compared in any case; other bytes exactly.
bool SameWords(const std::string& text, const char* words) {
    size_t i = 0;
    for (; words[i] != '\0'; ++i) {
        if (i >= text.size()) return false;
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(words[i]))) {
            return false;
        }
    }
    return i == text.size();
}

template <size_t N>
bool ParseWords(const ValueWords (&table)[N], const std::string& (*russian)(size_t),
                const std::string& text, int32_t* value) {
    for (size_t i = 0; i < N; ++i) {
        const ValueWords& words = table[i];
        if (SameWords(text, words.keyword) || SameWords(text, words.english) ||
            SameWords(text, russian(i).c_str())) {
            *value = words.value;
            return true;
        }
    }
    return ParseInt32(text, value);
}

}  // namespace

std::string SearchKeyword(int32_t searchType) {
    const ValueWords* words = Find(SEARCH_WORDS, searchType);
    return words ? words->keyword : std::to_string(searchType);
}

std::string StatusKeyword(int32_t status) {
    const ValueWords* words = Find(STATUS_WORDS, status);
    return words ? words->keyword : std::to_string(status);
}

bool StatusOfKeyword(const std::string& text, int32_t* status) {
    static const int32_t statuses[] = {STATUS_UNCHANGED, STATUS_ALLOW_ALL, STATUS_NO_PRIVATE, STATUS_IGNORE};
    static const std::string keywords[] = {StatusKeyword(statuses[0]), StatusKeyword(statuses[1]),
                                           StatusKeyword(statuses[2]), StatusKeyword(statuses[3])};
    for (size_t i = 0; i < 4; ++i) {
        if (text == keywords[i]) {
            *status = statuses[i];
            return true;
        }
    }
    return false;
}

std::string SearchWords(int32_t searchType, Language language) {
    const ValueWords* words = Find(SEARCH_WORDS, searchType);
    if (!words) return std::to_string(searchType);
    if (language == Language::Russian) return RussianSearchWords(words - SEARCH_WORDS);
    return words->english;
}

std::string StatusWords(int32_t status, Language language) {
    const ValueWords* words = Find(STATUS_WORDS, status);
    if (!words) return std::to_string(status);
    if (language == Language::Russian) return RussianStatusWords(words - STATUS_WORDS);
    return words->english;
}

bool ParseSearch(const std::string& text, int32_t* searchType) {
    return ParseWords(SEARCH_WORDS, RussianSearchWords, text, searchType);
}

bool ParseStatus(const std::string& text, int32_t* status) {
    return ParseWords(STATUS_WORDS, RussianStatusWords, text, status);
}

void AppendColourText(uint32_t colorref, std::string* text) {
    constexpr char DIGITS[] = "0123456789ABCDEF";
    char out[10];
    size_t at = 0;
    if (colorref >> 24) {
        out[at++] = '0';
        out[at++] = 'x';
        for (int shift = 28; shift >= 0; shift -= 4) out[at++] = DIGITS[(colorref >> shift) & 0xF];
    } else {
        out[at++] = '#';
        for (int shift = 0; shift <= 16; shift += 8) {  // red, green, blue: the bytes from the low end
            out[at++] = DIGITS[(colorref >> (shift + 4)) & 0xF];
            out[at++] = DIGITS[(colorref >> shift) & 0xF];
        }
    }
    text->append(out, at);
}

std::string ColourText(uint32_t colorref) {
    std::string text;
    AppendColourText(colorref, &text);
    return text;
}

bool ParseColour(const std::string& text, uint32_t* colorref) {
    // The text holds exactly `count` digits from `from`.
    auto hexDigits = [&](size_t from, size_t count, uint32_t* value) {
        return text.size() == from + count && ReadHexDigits(text, from, count, value);
    };
    uint32_t rgb = 0;
    if (!text.empty() && text[0] == '#' && hexDigits(1, 6, &rgb)) {
        *colorref = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
        return true;
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return hexDigits(2, 8, colorref);
    }
    return false;
}

bool ParseInt32(const std::string& text, int32_t* value) {
    if (text.empty()) return false;
    const size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size() || text.size() > 11) return false;
    for (size_t k = i; k < text.size(); ++k) {
        if (text[k] < '0' || text[k] > '9') return false;
    }
    errno = 0;
    const long long number = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || number < INT32_MIN || number > INT32_MAX) return false;
    *value = static_cast<int32_t>(number);
    return true;
}
