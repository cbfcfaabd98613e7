#include "lists/memo_text.h"

#include "lists/reason_language.h"
#include "lists/text_codec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int64_t SECONDS_PER_DAY = 86400;
constexpr int64_t EARLIEST_DATE_SECONDS = -62135596800;  // 0001-01-01T00:00:00Z

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar, and
// back (H. Hinnant's algorithms; exact for every year written here).
int64_t DaysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, int* month, int* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shifted = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
    *month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
    *year = yearOfEra + era * 400 + (*month <= 2);
}

bool IsLeapYear(int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int64_t year, int month) {
    static constexpr int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : DAYS[month - 1];
}

// `count` decimal digits of `text` from `at`.
bool ReadDigits(const std::string& text, size_t at, size_t count, int* value) {
    if (at + count > text.size()) return false;
    *value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        *value = *value * 10 + (text[i] - '0');
    }
    return true;
}

// A decimal 64-bit number, "-" allowed; nothing else around it.
bool ParseInt64(const std::string& text, int64_t* value) {
    const bool negative = !text.empty() && text[0] == '-';
    const size_t start = negative ? 1 : 0;
    if (text.size() == start || text.size() - start > 19) return false;
    uint64_t magnitude = 0;
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');  // 19 digits cannot wrap
    }
    const uint64_t most = negative ? uint64_t{INT64_MAX} + 1 : uint64_t{INT64_MAX};
    if (magnitude > most) return false;
    *value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

// An empty column is 0; a time is a date or a number of seconds.
bool ParseTimeColumn(const std::string& text, int64_t* seconds) {
    if (text.empty()) {
        *seconds = 0;
        return true;
    }
    return ParseUtcTime(text, seconds) || ParseInt64(text, seconds);
}

bool SetNoteUnits(const std::u16string& units, RuleMemo* memo, std::string* reason) {
    if (units.size() > MEMO_NOTE_UNITS) {
        // The Russian puts the numbers last: no plural to agree with them.
        *reason = InLanguage("the note is longer than ", "заметка слишком длинная (предел в единицах UTF-16: ") +
                  std::to_string(MEMO_NOTE_UNITS) + InLanguage(" UTF-16 units (it has ", "; в ней: ") +
                  std::to_string(units.size()) + ")";
        return false;
    }
    std::fill(std::begin(memo->note), std::end(memo->note), u'\0');
    std::copy(units.begin(), units.end(), memo->note);
    memo->noteLength = static_cast<uint16_t>(units.size());
    return true;
}

bool AllZero(const uint8_t* bytes, size_t count) {
    return std::all_of(bytes, bytes + count, [](uint8_t byte) { return byte == 0; });
}

}  // namespace

std::string UtcTimeText(int64_t seconds) {
    if (seconds < EARLIEST_DATE_SECONDS || seconds > LATEST_DATE_SECONDS) return std::to_string(seconds);
    const int64_t days = (seconds >= 0 ? seconds : seconds - (SECONDS_PER_DAY - 1)) / SECONDS_PER_DAY;
    const int64_t inDay = seconds - days * SECONDS_PER_DAY;
    int64_t year = 0;
    int month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    char text[64];  // room for any int, as the compiler cannot see the ranges
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", static_cast<int>(year), month, day,
                  static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60));
    return text;
}

bool ParseUtcTime(const std::string& text, int64_t* seconds) {
    std::string rest = text;
    if (!rest.empty() && rest.back() == 'Z') rest.pop_back();
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (rest.size() < 10 || !ReadDigits(rest, 0, 4, &year) || rest[4] != '-' || !ReadDigits(rest, 5, 2, &month) ||
        rest[7] != '-' || !ReadDigits(rest, 8, 2, &day)) {
        return false;
    }
    if (rest.size() > 10) {
        if (rest[10] != 'T' || !ReadDigits(rest, 11, 2, &hour) || rest.size() < 16 || rest[13] != ':' ||
            !ReadDigits(rest, 14, 2, &minute)) {
            return false;
        }
        if (rest.size() > 16 && (rest.size() != 19 || rest[16] != ':' || !ReadDigits(rest, 17, 2, &second))) {
            return false;
        }
        if (rest.size() != 16 && rest.size() != 19) return false;
    }
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59) {
        return false;
    }
    *seconds = DaysFromCivil(year, month, day) * SECONDS_PER_DAY + hour * 3600 + minute * 60 + second;
    return true;
}

bool ParseDuration(const std::string& text, int64_t* seconds) {
    if (text.size() < 2) return false;
    int64_t unit = 0;
    switch (text.back()) {
        case 's': unit = 1; break;
        case 'm': unit = 60; break;
        case 'h': unit = 3600; break;
        case 'd': unit = SECONDS_PER_DAY; break;
        default: return false;
    }
    const std::string number = text.substr(0, text.size() - 1);
    int64_t count = 0;
    if (number[0] == '-' || !ParseInt64(number, &count) || count <= 0 || count > INT64_MAX / unit) return false;
    *seconds = count * unit;
    return true;
}

bool SetMemoNote(const std::string& utf8, RuleMemo* memo, std::string* reason) {
    std::u16string units;
    if (!DecodeUtf8(utf8, &units)) {
        *reason = InLanguage("the note is not UTF-8 text", "заметка записана не в UTF-8");
        return false;
    }
    return SetNoteUnits(units, memo, reason);
}

int64_t RuleExpiry(const _RULE& rule) {
    // Most rules carry no expiry: those are told without the checksum.
    if (UncheckedExpiry(rule) == MEMO_NEVER) return MEMO_NEVER;
    RuleMemo memo;
    return ReadRuleMemo(rule, &memo) ? memo.expires : MEMO_NEVER;
}

bool MemoColumns(const _RULE& rule, std::string* added, std::string* expires, std::string* note) {
    added->clear();
    expires->clear();
    note->clear();
    RuleMemo memo;
    if (!ReadRuleMemo(rule, &memo)) return false;
    if (memo.added == 0 && memo.expires == MEMO_NEVER && memo.noteLength == 0) return false;
    // Rebuilt from its fields, the block must be the same bytes: a checksum
    // also covers bytes no field holds, which only reserved=HEX keeps.
    _RULE rebuilt = rule;
    std::memset(rebuilt.reserved, 0, sizeof rebuilt.reserved);
    if (!WriteRuleMemo(rebuilt, memo) || std::memcmp(rebuilt.reserved, rule.reserved, sizeof rule.reserved) != 0) {
        return false;
    }
    if (memo.added != 0) *added = UtcTimeText(memo.added);
    if (memo.expires != MEMO_NEVER) *expires = UtcTimeText(memo.expires);
    *note = EscapeName(memo.note, std::min<size_t>(memo.noteLength, MEMO_NOTE_UNITS));
    return true;
}

bool ParseMemoColumns(const std::string& added, const std::string& expires, const std::string& note,
                      _RULE& rule, std::string* reason) {
    if (added.empty() && expires.empty() && note.empty()) return true;
    if (!AllZero(rule.reserved, sizeof rule.reserved)) {
        *reason = InLanguage("the reserved bytes are given twice: in reserved= and in the added, expires "
                             "and note columns",
                             "зарезервированные байты заданы дважды: в reserved= и в столбцах added, "
                             "expires и note");
        return false;
    }
    RuleMemo memo{};
    for (const auto& [column, time] : {std::make_pair(&added, &memo.added), std::make_pair(&expires, &memo.expires)}) {
        if (!ParseTimeColumn(*column, time)) {
            *reason = InLanguage("a time is written YYYY-MM-DDTHH:MM:SSZ (UTC), not \"",
                                 "время пишется YYYY-MM-DDTHH:MM:SSZ (UTC), а не \"") + *column + "\"";
            return false;
        }
    }
    std::u16string units;
    std::string unused;
    if (!UnescapeName(note, &units, &unused)) {
        *reason = InLanguage("the note is not UTF-8 text or holds an unknown escape (a backslash is written \\\\)",
                             "заметка записана не в UTF-8 или в ней неизвестная экранирующая "
                             "последовательность (обратная косая черта пишется \\\\)");
        return false;
    }
    return SetNoteUnits(units, &memo, reason) && WriteRuleMemo(rule, memo);
}
