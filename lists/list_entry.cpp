#include "lists/list_entry.h"

#include "rules/ip_pattern.h"
#include "rules/text_field.h"
#include "lists/address_set.h"
#include "lists/entry_reasons.h"
#include "lists/hidden_characters.h"
#include "lists/reason_language.h"
#include "lists/rule_words.h"
#include "lists/text_pieces.h"

#include <algorithm>

size_t ReadStrictAddressAt(const char* text, size_t length, uint32_t* address) {
    uint32_t value = 0;
    int parts = 0;
    size_t at = 0;
    while (parts < 4) {
        size_t digits = 0;
        uint32_t number = 0;
        while (at < length && IsDigit(text[at]) && digits < 4) {
            number = number * 10 + static_cast<uint32_t>(text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || digits > 3 || number > 255 || (digits > 1 && text[at - digits] == '0')) return 0;
        value = (value << 8) | number;
        ++parts;
        if (parts < 4) {
            if (at >= length || text[at] != '.') return 0;
            ++at;
        }
    }
    *address = value;
    return at;
}

bool ReadStrictAddress(const std::string& text, uint32_t* address) {
    uint32_t value = 0;
    if (ReadStrictAddressAt(text.data(), text.size(), &value) != text.size()) return false;
    *address = value;
    return true;
}

namespace {

bool HoldsBlank(const std::string& text) {
    if (text.find_first_of(" \t") != std::string::npos) return true;
    for (size_t at = 0; at < text.size();) {
        const CodePoint point = CodePointAt(text, at);
        if (point.wellFormed && IsInvisible(point.value)) return true;
        at += point.length;
    }
    return false;
}

}  // namespace

// Labels of letters, digits and "-" joined by dots, the last one of
// letters ("evil.example.com", "Example.COM."), or "localhost".
bool LooksLikeHostName(const std::string& text) {
    std::string name = text;
    if (!name.empty() && name.back() == '.') name.pop_back();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (name == "localhost") return true;
    const std::vector<std::string> labels = Split(name, '.');
    if (labels.size() < 2) return false;
    for (const std::string& label : labels) {
        if (label.empty()) return false;
        for (char c : label) {
            if (!(c >= 'a' && c <= 'z') && !IsDigit(c) && c != '-') return false;
        }
    }
    const std::string& last = labels.back();
    return last.size() >= 2 && std::all_of(last.begin(), last.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// Whether a plain list's entry is an attempt at an address rather than a
// nickname: it starts with a digit and holds ".", ":", "/", "," or a blank;
// or holds ":" at all; or holds only address characters; or starts with "*";
// or is one of these with a "+" in front or written in full-width
// characters; or is a host name with a block length ("example.com/24").
// Such an entry is an address or a bad line, never a nickname: a nickname
// like that is written with "name:".
bool IsAddressAttempt(const std::string& entry) {
    const std::string text = Trimmed(entry);
    if (text.empty()) return false;
    if (text.find(':') != std::string::npos) return true;
    if (IsDigit(text[0]) && (text.find_first_of("./, ") != std::string::npos || HoldsBlank(text))) {
        return true;
    }
    if (text.find_first_not_of("0123456789.*-/") == std::string::npos) return true;
    if (text[0] == '*') return true;
    std::string folded;
    if (text[0] == '+' || FoldFullWidth(text, &folded)) {
        return IsAddressAttempt(text[0] == '+' ? text.substr(1) : folded);
    }
    const size_t slash = text.rfind('/');
    return slash != std::string::npos && slash + 1 < text.size() &&
           text.find_first_not_of("0123456789", slash + 1) == std::string::npos &&
           LooksLikeHostName(text.substr(0, slash));
}

namespace {

// "1, 10-19, 100-199": the values of one address part in a prefix warning.
std::string PartValues(const std::vector<AddressInterval>& intervals, int shift) {
    std::string shown;
    for (const AddressInterval& interval : intervals) {
        const uint32_t first = (interval.low >> shift) & 0xFF;
        const uint32_t last = (interval.high >> shift) & 0xFF;
        if (!shown.empty()) shown += ", ";
        shown += std::to_string(first);
        if (last != first) shown += "-" + std::to_string(last);
    }
    return shown;
}

}  // namespace

// Checks an IP pattern as a plain list or the table's ip column writes it,
// and gives the IP text to store, or says why not. `warning` gets what is
// allowed but seldom meant.
bool IpTextOfEntry(const std::string& entry, std::string* ipText, std::string* reason,
                   std::string* warning) {
    std::string text = Trimmed(entry);
    if (text.empty()) {
        *reason = InLanguage("no IP text", "нет текста IP");
        return false;
    }
    // Blanks around the "-" of a range are dropped, as the editor drops them.
    std::string joined;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ') {
            const size_t before = text.find_last_not_of(' ', i);
            const size_t after = text.find_first_not_of(' ', i);
            if ((before != std::string::npos && text[before] == '-') ||
                (after != std::string::npos && text[after] == '-')) {
                continue;
            }
        }
        joined.push_back(text[i]);
    }
    text = joined;
    if (MisshapenAddress(text, reason)) return false;
    const std::string nicknameHint = NicknameHint(text);
    if (text.find_first_of(" \t") != std::string::npos) {
        *reason = InLanguage("spaces inside an address (columns are separated by tabs)",
                             "пробелы внутри адреса (столбцы разделяются табуляцией)") +
                  nicknameHint;
        return false;
    }
    if (text[0] == '*' && text.size() > 1) {
        *reason = InLanguage(
            "a pattern cannot start with \"*\": a prefix is written like 10.0.* (host names are not supported)",
            "шаблон не может начинаться с \"*\": префикс пишется так: 10.0.* (имена хостов не поддерживаются)");
        return false;
    }
    if (std::any_of(text.begin(), text.end(), IsLetter) && LooksLikeHostName(text)) {
        *reason = InLanguage("a host name is not an address: rules hold IPv4 addresses only",
                             "имя хоста — не адрес: правила содержат только адреса IPv4") +
                  nicknameHint;
        return false;
    }
    const size_t other = text.find_first_not_of("0123456789.*-/");
    if (other != std::string::npos) {
        *reason = InLanguage("not an address: \"", "не адрес: \"") +
                  text.substr(other, CodePointAt(text, other).length) +
                  InLanguage("\" is not part of an address", "\" не может быть частью адреса") + nicknameHint;
        return false;
    }
    const size_t slash = text.find('/');
    const IpTextShape shape = ClassifyIpText(text.data(), text.size());
    uint32_t low = 0;
    uint32_t high = 0;
    if (slash != std::string::npos) {
        const std::string bits = text.substr(slash + 1);
        if (!ReadStrictAddress(text.substr(0, slash), &low)) {
            *reason = InLanguage("a CIDR block needs a four-part address before \"/\"",
                                 "в блоке перед \"/\" нужен адрес из четырёх частей");
            return false;
        }
        int32_t length = -1;
        if (bits.empty() || bits.size() > 2 || !ParseInt32(bits, &length) || length < 0 ||
            length > 32) {
            *reason = InLanguage("a CIDR block's length after \"/\" must be 0 to 32",
                                 "длина блока после \"/\" должна быть от 0 до 32");
            return false;
        }
        const uint32_t hostBits = length == 0 ? 0xFFFFFFFFu : (1u << (32 - length)) - 1;
        if (low & hostBits) {
            *reason = InLanguage("address bits beyond the block's length are set (the block starts at ",
                                 "в адресе заданы биты за пределами длины блока (блок начинается с ") +
                      DottedAddress(low & ~hostBits) + ")";
            return false;
        }
        high = low | hostBits;
        if (high == 0) {
            *reason = InLanguage("the block holds only 0.0.0.0, which matches no visitor",
                                 "в блоке только 0.0.0.0, а под этот адрес не попадает ни один посетитель");
            return false;
        }
        *ipText = DottedAddress(low) + "-" + DottedAddress(high);
    } else if (shape.kind == IpTextKind::Prefix) {
        const size_t star = shape.split;
        if (star != text.size() - 1) {
            *reason = InLanguage("a prefix ends at its \"*\"; what follows would be ignored",
                                 "префикс кончается звёздочкой \"*\": то, что после неё, было бы пропущено");
            return false;
        }
        const std::string prefix = text.substr(0, star);
        if (prefix.empty()) {
            *reason = InLanguage("\"*\" alone is no prefix and matches no visitor",
                                 "одна звёздочка \"*\" — не префикс: под неё не попадает ни один посетитель");
            return false;
        }
        if (prefix.size() >= RULE_IP_PREFIX_BYTES) {
            *reason = InLanguage("a prefix is at most 15 characters", "префикс — не длиннее 15 символов");
            return false;
        }
        if (prefix.find_first_not_of("0123456789.") != std::string::npos) {
            *reason = InLanguage("a prefix holds only digits and dots", "в префиксе бывают только цифры и точки");
            return false;
        }
        const std::vector<AddressInterval> picked = PrefixAddresses(prefix.data(), prefix.size());
        if (picked.empty()) {
            *reason = InLanguage("no address starts with \"", "ни один адрес не начинается с \"") + prefix +
                      InLanguage("\": parts are 0 to 255 without leading zeros, at most four",
                                 "\": части адреса — числа от 0 до 255 без ведущих нулей, их не больше четырёх");
            return false;
        }
        if (prefix.back() != '.') {
            const size_t dots = static_cast<size_t>(std::count(prefix.begin(), prefix.end(), '.'));
            const int shift = 24 - 8 * static_cast<int>(dots);
            *warning = InLanguage("the prefix \"", "префикс \"") + text +
                       InLanguage("\" is compared as text: its part ", "\" сравнивается как текст: часть ") +
                       std::to_string(dots + 1) + InLanguage(" may be ", " адреса может быть ") +
                       PartValues(picked, shift);
            if (dots < 3) {
                *warning += InLanguage(" (\"", " (ровно эту часть задаёт \"") + prefix +
                            InLanguage(".*\" is that part exactly)", ".*\")");
            }
        }
        *ipText = text;
    } else if (shape.kind == IpTextKind::Range) {
        const size_t dash = shape.split;
        if (!ReadStrictAddress(text.substr(0, dash), &low) ||
            !ReadStrictAddress(text.substr(dash + 1), &high)) {
            *reason = InLanguage("a range is two four-part addresses joined by \"-\"",
                                 "диапазон — это два адреса из четырёх частей через \"-\"");
            return false;
        }
        if (low > high) {
            *reason = InLanguage("the range's first address is above its last",
                                 "первый адрес диапазона больше последнего");
            return false;
        }
        if (high == 0) {
            *reason = InLanguage("the range holds only 0.0.0.0, which matches no visitor",
                                 "в диапазоне только 0.0.0.0, а под этот адрес не попадает ни один посетитель");
            return false;
        }
        *ipText = DottedAddress(low) + "-" + DottedAddress(high);
    } else {
        if (!ReadStrictAddress(text, &low)) {
            *reason = InLanguage("not an address: four decimal parts of 0 to 255, without leading zeros",
                                 "не адрес: нужны четыре десятичные части от 0 до 255 без ведущих нулей");
            return false;
        }
        if (low == 0) {
            *reason = InLanguage("the address 0.0.0.0 matches no visitor",
                                 "под адрес 0.0.0.0 не попадает ни один посетитель");
            return false;
        }
        *ipText = DottedAddress(low);
    }
    const bool range = slash != std::string::npos || shape.kind == IpTextKind::Range;
    if (range && high - low >= 0x7FFFFFFFu) {
        *warning = "\"" + text +
                   (high - low == 0xFFFFFFFFu
                        ? InLanguage("\" picks every visitor that has an address",
                                     "\" выбирает каждого посетителя, у которого есть адрес")
                        : InLanguage("\" picks half of all addresses or more",
                                     "\" выбирает половину всех адресов или больше"));
    }
    return true;
}

// Whether the table's checks give back the rule's own IP text, so that its
// line needs no stored pattern.
bool IpTextPassesChecks(const _RULE& rule) {
    const std::string text(rule.ipText, FieldLength(rule.ipText));
    if (text.empty()) return true;
    std::string stored, reason, warning;
    return IpTextOfEntry(text, &stored, &reason, &warning) && stored == text;
}
