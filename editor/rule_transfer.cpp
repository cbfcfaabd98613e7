// Copy, paste and drop. The text is read with the rule-list library's
// reader; what the operator hears of it is in Russian, through the notice.
#include "editor/rule_transfer.h"

#include "editor/edit_history.h"
#include "editor/editor_parts.h"
#include "editor/rule_fields.h"
#include "editor/rule_rows.h"
#include "editor/save_notice.h"
#include "lists/reason_language.h"
#include "lists/rule_text.h"
#include "lists/text_codec.h"
#include "resources/resource_ids.h"
#include "rules/rule_array.h"

#include <new>
#include <string>
#include <vector>

namespace {

constexpr const char16_t* NO_MEMORY = u"Правила не добавлены: не хватает памяти.";

// The first bad lines named in the notice; the rest are counted.
constexpr size_t LINES_TOLD = 10;
// A dropped file larger than this is not read: no rule list is.
constexpr LONGLONG DROPPED_FILE_MOST_BYTES = 256LL << 20;

// The reader's reasons and export lines are its own, well-formed UTF-8.
std::u16string FromUtf8(const std::string& text) {
    std::u16string units;
    DecodeUtf8(text, &units);
    return units;
}

std::u16string Number(size_t number) {
    const std::string digits = std::to_string(number);
    return std::u16string(digits.begin(), digits.end());
}

// One text the operator gave: the clipboard's, or a dropped file's.
struct PastedText {
    std::u16string source;  // a file's name; empty for the clipboard
    std::string bytes;
};

// The lines in `report`, at most LINES_TOLD of them, each with its source.
void TellLines(std::u16string& text, const std::vector<BadLine>& lines,
               const std::u16string& source, size_t& told) {
    for (const BadLine& line : lines) {
        if (told++ >= LINES_TOLD) continue;
        if (!source.empty()) text += source + u", ";
        text += u"строка " + Number(line.number) + u": " + FromUtf8(line.reason) + u"\r\n";
    }
}

// Reads every text; adds their rules after the selected row when no line
// of any is bad.
void AddPastedRules(HWND dialog, const std::vector<PastedText>& texts) {
    std::vector<_RULE> rules;
    std::u16string badText;
    std::u16string warningText;
    size_t badCount = 0;
    size_t warningCount = 0;
    const PlainDefaults defaults = FieldDefaults(dialog);
    g_reasonLanguage = ReasonLanguage::Russian;  // the operator's language
    for (const PastedText& text : texts) {
        ImportResult read = ImportText(text.bytes, defaults);
        TellLines(badText, read.badLines, text.source, badCount);
        TellLines(warningText, read.warnings, text.source, warningCount);
        rules.insert(rules.end(), read.rules.begin(), read.rules.end());
    }
    if (badCount > 0) {
        std::u16string text = u"Правила не добавлены: в тексте есть ошибки (строк с ошибками: " +
                              Number(badCount) + u").\r\n\r\n" + badText;
        if (badCount > LINES_TOLD) text += u"…\r\n";
        TellOperator(dialog, text.c_str());
        return;
    }
    if (rules.empty()) {
        TellOperator(dialog, u"В тексте нет правил: ничего не добавлено.");
        return;
    }
    const int selected = SelectedRow(dialog);
    const auto at = static_cast<uint32_t>(IsRuleIndex(selected) ? selected + 1 : g_ruleCount);
    if (!InsertRules(at, rules.data(), static_cast<uint32_t>(rules.size()))) {
        TellOperator(dialog, NO_MEMORY);
        return;
    }
    RememberPaste(at, static_cast<uint32_t>(rules.size()));
    ClearSelectedRowState(dialog);
    const HWND list = GetDlgItem(dialog, IDC_RULES);
    MatchRowsToRules(list);
    SelectOnlyRow(dialog, static_cast<int>(at));
    InvalidateRect(list, nullptr, TRUE);
    FitNameColumn(dialog);
    NoteListEdited();

    std::u16string text = u"Добавлено правил: " + Number(rules.size()) + u".";
    if (warningCount > 0) {
        text += u"\r\n\r\nПредупреждения (" + Number(warningCount) + u"):\r\n" + warningText;
        if (warningCount > LINES_TOLD) text += u"…\r\n";
    }
    TellOperator(dialog, text.c_str());
}

// The reader holds the list in memory; a list too large for it is told,
// never thrown across the host's call.
void AddPastedRulesTellingOfMemory(HWND dialog, const std::vector<PastedText>& texts) {
    try {
        AddPastedRules(dialog, texts);
    } catch (const std::bad_alloc&) {
        TellOperator(dialog, NO_MEMORY);
    }
}

// shell32 is loaded at the first drop, not with the module.
using DragQueryFileCall = UINT(WINAPI*)(HDROP, UINT, LPWSTR, UINT);
using DragFinishCall = void(WINAPI*)(HDROP);
struct DropCalls {
    DragQueryFileCall query;
    DragFinishCall finish;
};

DropCalls LoadDropCalls() {
    static DropCalls calls{};
    if (calls.query && calls.finish) return calls;
    const HMODULE shell = LoadLibraryW(L"shell32.dll");
    if (!shell) return calls;
    calls.query = reinterpret_cast<DragQueryFileCall>(
        reinterpret_cast<void*>(GetProcAddress(shell, "DragQueryFileW")));
    calls.finish = reinterpret_cast<DragFinishCall>(
        reinterpret_cast<void*>(GetProcAddress(shell, "DragFinish")));
    return calls;
}

bool ReadWholeFile(const wchar_t* path, std::string* bytes) {
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool read = GetFileSizeEx(file, &size) && size.QuadPart <= DROPPED_FILE_MOST_BYTES;
    if (read) {
        bytes->resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        read = bytes->empty() ||
               (ReadFile(file, &(*bytes)[0], static_cast<DWORD>(bytes->size()), &got, nullptr) &&
                got == bytes->size());
    }
    CloseHandle(file);
    return read;
}

std::u16string FileName(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    return std::u16string(name.begin(), name.end());
}

void PasteFiles(HWND dialog, HDROP drop, const DropCalls& calls) {
    std::vector<PastedText> texts;
    const UINT files = calls.query(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < files; ++i) {
        std::wstring path(calls.query(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(calls.query(drop, i, &path[0], static_cast<UINT>(path.size())));
        PastedText text{u"«" + FileName(path) + u"»", {}};
        if (!ReadWholeFile(path.c_str(), &text.bytes)) {
            TellOperator(dialog, (u"Правила не добавлены: не удалось прочитать файл " + text.source +
                                  u".").c_str());
            return;
        }
        texts.push_back(std::move(text));
    }
    AddPastedRulesTellingOfMemory(dialog, texts);
}

}  // namespace

void CopySelectedRule(HWND dialog) {
    const int row = SelectedRow(dialog);
    if (!IsRuleIndex(row)) return;
    std::u16string line;
    try {
        line = FromUtf8(ExportLine(g_rules[row]) + "\r\n");
    } catch (const std::bad_alloc&) {
        return;  // nothing copied; never thrown into the host's message loop
    }
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (line.size() + 1) * sizeof(char16_t));
    if (!block) return;
    auto* units = static_cast<char16_t*>(GlobalLock(block));
    line.copy(units, line.size());
    units[line.size()] = 0;
    GlobalUnlock(block);
    if (!OpenClipboard(dialog)) {
        GlobalFree(block);
        return;
    }
    EmptyClipboard();
    // The clipboard owns the block once it takes it.
    if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
    CloseClipboard();
}

bool ClipboardHoldsText() { return IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE; }

void PasteRules(HWND dialog) {
    if (!OpenClipboard(dialog)) return;
    std::vector<PastedText> texts(1);
    const HANDLE block = GetClipboardData(CF_UNICODETEXT);
    const auto* units = block ? static_cast<const wchar_t*>(GlobalLock(block)) : nullptr;
    if (units) {
        // Bounded by the block: clipboard text from another program need not end.
        const size_t most = GlobalSize(block) / sizeof(wchar_t);
        size_t length = 0;
        while (length < most && units[length]) ++length;
        try {
            texts[0].bytes = EncodeUtf8(std::u16string(reinterpret_cast<const char16_t*>(units), length));
        } catch (const std::bad_alloc&) {
            units = nullptr;
        }
        GlobalUnlock(block);
    }
    CloseClipboard();
    if (units) AddPastedRulesTellingOfMemory(dialog, texts);
}

void AcceptDroppedFiles(HWND dialog) {
    const LONG_PTR style = GetWindowLongPtrA(dialog, GWL_EXSTYLE);
    SetWindowLongPtrA(dialog, GWL_EXSTYLE, style | WS_EX_ACCEPTFILES);
}

void PasteDroppedFiles(HWND dialog, HDROP drop) {
    const DropCalls calls = LoadDropCalls();
    if (!calls.query || !calls.finish) return;
    try {
        PasteFiles(dialog, drop, calls);
    } catch (const std::bad_alloc&) {
        TellOperator(dialog, NO_MEMORY);
    }
    calls.finish(drop);
}
