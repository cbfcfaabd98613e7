// Putting a nickname or an IP text into a rule's fields (list_entry.h), with
// the reason when it does not fit.
#include "lists/list_entry.h"

#include "lists/reason_language.h"

#include <cstring>
#include <string>

bool SetName(_RULE& rule, const std::u16string& name, size_t limit, std::string* reason) {
    if (name.size() > limit) {
        // The Russian puts the number last: no case or plural to agree with it.
        *reason = InLanguage("the nickname is longer than ", "ник слишком длинный (предел в единицах UTF-16: ") +
                  std::to_string(limit) + InLanguage(" UTF-16 units", ")");
        return false;
    }
    if (name.find(u'\0') != std::u16string::npos) {
        *reason = InLanguage("the nickname holds a zero character", "в нике есть нулевой символ");
        return false;
    }
    std::memcpy(rule.name, name.data(), name.size() * sizeof(char16_t));
    return true;
}

bool SetIpText(_RULE& rule, const std::string& ipText, size_t limit, std::string* reason) {
    if (ipText.size() > limit) {
        *reason = InLanguage("the IP text is longer than ", "текст IP слишком длинный (предел в символах: ") +
                  std::to_string(limit) + InLanguage(" characters", ")");
        return false;
    }
    if (ipText.find('\0') != std::string::npos) {
        *reason = InLanguage("the IP text holds a zero byte", "в тексте IP есть нулевой байт");
        return false;
    }
    std::memcpy(rule.ipText, ipText.data(), ipText.size());
    return true;
}

