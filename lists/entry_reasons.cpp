#include "lists/entry_reasons.h"

#include "lists/address_set.h"
#include "lists/hidden_characters.h"
#include "lists/list_entry.h"
#include "lists/reason_language.h"
#include "lists/text_pieces.h"

#include <algorithm>
#include <cstdint>

namespace {

// The IP text that the entry `text` checks to, or "" for none.
std::string CheckedText(const std::string& text) {
    std::string ipText, reason, warning;
    return IpTextOfEntry(text, &ipText, &reason, &warning) ? ipText : "";
}

bool HiddenReason(const std::string& text, std::string* reason) {
    const size_t at = FindHidden(text);
    if (at == std::string::npos) return false;
    const CodePoint point = CodePointAt(text, at);
    if (!point.wellFormed) {
        *reason = InLanguage("a byte that is not UTF-8 text inside an address, ",
                             "внутри адреса байт, который не является текстом UTF-8: ") +
                  Shown(text.substr(at, 1));
    } else if (point.value == NO_BREAK_SPACE || point.value == NARROW_NO_BREAK_SPACE) {
        *reason = InLanguage("a no-break space inside an address (", "неразрывный пробел внутри адреса (") +
                  CodePointName(point.value) + ")";
    } else if (IsControl(point.value)) {
        *reason = InLanguage("a control character inside an address, ", "управляющий символ внутри адреса: ") +
                  CodePointName(point.value);
    } else {
        *reason = InLanguage("an invisible character inside an address, ", "невидимый символ внутри адреса: ") +
                  CodePointName(point.value);
    }
    return true;
}

bool ColonReason(const std::string& text, std::string* reason) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    const std::string before = Trimmed(text.substr(0, colon));
    uint32_t address = 0;
    if (text.find(':', colon + 1) == std::string::npos && ReadStrictAddress(before, &address)) {
        *reason = InLanguage("a port is not part of an address: write ", "порт не входит в адрес: напишите ") +
                  DottedAddress(address) + InLanguage(" alone", " без порта");
    } else if (text.find(':', colon + 1) == std::string::npos && !CheckedText(before).empty()) {
        *reason = InLanguage("a port is not part of an address block or range: write ",
                             "порт не входит в блок или диапазон адресов: напишите ") +
                  before + InLanguage(" alone", " без порта");
    } else if (std::count(text.begin(), text.end(), ':') >= 2 ||
               text.find_first_not_of("0123456789abcdefABCDEF:./") == std::string::npos) {
        *reason = InLanguage("IPv6 addresses are not supported (only IPv4: four numbers 0 to 255)",
                             "адреса IPv6 не поддерживаются (только IPv4: четыре числа от 0 до 255)") +
                  NicknameHint(text);
    } else {
        *reason = InLanguage("\":\" is not part of an address", "\":\" не может быть частью адреса") +
                  NicknameHint(text);
    }
    return true;
}

// After "/": a block length written as a netmask, or a range of blocks.
bool SlashReason(const std::string& text, std::string* reason) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    const std::string before = text.substr(0, slash);
    if (LooksLikeHostName(before)) {
        *reason = InLanguage(
                      "a host name with a block length is not an address block: rules hold IPv4 addresses only",
                      "имя хоста с длиной блока — не блок адресов: правила содержат только адреса IPv4") +
                  NicknameHint(text);
        return true;
    }
    const size_t dash = text.find('-');
    if (dash != std::string::npos) {
        const std::string first = CheckedText(Trimmed(text.substr(0, dash)));
        const std::string last = CheckedText(Trimmed(text.substr(dash + 1)));
        const size_t firstDash = first.find('-');
        const size_t lastDash = last.find('-');
        if (firstDash != std::string::npos && lastDash != std::string::npos) {
            *reason = InLanguage("a range of blocks is not one entry: write the range ",
                                 "диапазон блоков — не одна запись: напишите диапазон ") +
                      first.substr(0, firstDash) + "-" + last.substr(lastDash + 1) +
                      InLanguage(", or each block on a line of its own", " или каждый блок на отдельной строке");
        } else {
            *reason = InLanguage("a range is written FIRST-LAST and a block ADDRESS/LENGTH, not both in one entry",
                                 "диапазон пишется ПЕРВЫЙ-ПОСЛЕДНИЙ, а блок АДРЕС/ДЛИНА, но не оба в одной записи");
        }
        return true;
    }
    const std::string after = text.substr(slash + 1);
    uint32_t mask = 0;
    if (after.find('.') == std::string::npos || !ReadStrictAddress(after, &mask)) return false;
    const uint32_t hostBits = ~mask;
    if ((hostBits & (hostBits + 1)) != 0) {
        *reason = "\"" + after +
                  InLanguage("\" is not a netmask; a block is written ADDRESS/LENGTH, the length 0 to 32",
                             "\" — не маска; блок пишется АДРЕС/ДЛИНА, длина от 0 до 32");
        return true;
    }
    int length = 0;
    for (uint32_t bits = mask; bits != 0; bits <<= 1) ++length;
    *reason = InLanguage("a netmask after \"/\" is written as the block's length: ",
                         "маска после \"/\" пишется как длина блока: ") +
              before + "/" + std::to_string(length);
    return true;
}

}  // namespace

std::string NicknameHint(const std::string& text) {
    if (!std::any_of(text.begin(), text.end(), IsLetter)) return "";
    return InLanguage(" (a nickname that looks like this is written \"name:",
                      " (ник такого вида пишется так: \"name:") +
           text + "\")";
}

bool MisshapenAddress(const std::string& text, std::string* reason) {
    if (HiddenReason(text, reason) || ColonReason(text, reason)) return true;
    std::string folded;
    if (FoldFullWidth(text, &folded)) {
        const std::string checked = CheckedText(folded);
        *reason = InLanguage("full-width characters are not part of an address",
                             "полноширинные символы не могут быть частью адреса") +
                  (checked.empty() ? std::string() : InLanguage(": write ", ": напишите ") + folded);
        return true;
    }
    if (text.find(',') != std::string::npos) {
        *reason = InLanguage("a comma is not part of an address: a range is written FIRST-LAST, one a line",
                             "запятая не может быть частью адреса: диапазон пишется ПЕРВЫЙ-ПОСЛЕДНИЙ, "
                             "по одному на строке");
        return true;
    }
    if (text[0] == '+') {
        const std::string rest = text.substr(1);
        *reason = InLanguage("a \"+\" sign is not part of an address", "знак \"+\" не может быть частью адреса") +
                  (CheckedText(rest).empty() ? std::string() : InLanguage(": write ", ": напишите ") + rest);
        return true;
    }
    return SlashReason(text, reason);
}
