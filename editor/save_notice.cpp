// The notice about the rule file: a modeless window with a warning icon, a
// read-only text the operator can select and copy paths from, and a button.
// It is made from a dialog template built here in memory, so the module's
// resources stay as the host knows them.
#include "editor/save_notice.h"

#include "editor/editor_state.h"
#include "resources/resource_ids.h"
#include "rules/text_field.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <initializer_list>

namespace {

HWND g_notice = nullptr;

// ---- The notice's texts ------------------------------------------------------

constexpr size_t NOTICE_UNITS = 16384;

// The notice's text as it is put together, cut where it would not fit.
struct NoticeText {
    wchar_t text[NOTICE_UNITS];
    size_t length;
};

void Append(NoticeText& notice, const char16_t* text) {
    const auto* units = reinterpret_cast<const wchar_t*>(text);
    const size_t room = NOTICE_UNITS - 1 - notice.length;
    size_t length = std::wcslen(units);
    if (length > room) length = room;
    std::memcpy(notice.text + notice.length, units, length * sizeof(wchar_t));
    notice.length += length;
    notice.text[notice.length] = 0;
}

// A path from the rule file code, in UTF-8.
void AppendPath(NoticeText& notice, const char* path) {
    const size_t room = NOTICE_UNITS - 1 - notice.length;
    if (room == 0) return;  // a size of 0 would ask for the length instead
    const int units = MultiByteToWideChar(CP_UTF8, 0, path, -1, notice.text + notice.length,
                                          static_cast<int>(room));
    if (units > 0) notice.length += static_cast<size_t>(units) - 1;
    notice.text[notice.length] = 0;
}

void AppendNumber(NoticeText& notice, uint32_t number) {
    char16_t digits[12];
    size_t at = sizeof digits / sizeof digits[0];
    digits[--at] = 0;
    do {
        digits[--at] = static_cast<char16_t>(u'0' + number % 10);
        number /= 10;
    } while (number != 0);
    Append(notice, digits + at);
}

// A rule as the editor's list shows it: the nickname and the IP text.
void AppendRule(NoticeText& notice, const _RULE& rule) {
    char16_t name[RULE_NAME_UNITS + 1] = {};
    std::memcpy(name, rule.name, FieldLength(rule.name) * sizeof(char16_t));
    char16_t ip[RULE_IP_TEXT_BYTES + 1] = {};
    for (size_t i = 0; i < FieldLength(rule.ipText); ++i) {
        ip[i] = static_cast<char16_t>(static_cast<unsigned char>(rule.ipText[i]));
    }
    Append(notice, u"  «");
    Append(notice, name);
    Append(notice, u"»");
    if (ip[0]) {
        Append(notice, u", IP ");
        Append(notice, ip);
    }
    Append(notice, u"\r\n");
}

const char16_t* ReasonText(FileProblem problem) {
    switch (problem) {
        case FileProblem::ReadOnly: return u"файл доступен только для чтения";
        case FileProblem::NoRights: return u"нет прав на запись в папку файла";
        case FileProblem::DiskFull: return u"на диске нет места";
        case FileProblem::Held: return u"файл занят другой программой";
        case FileProblem::NoFolder: return u"папка файла не найдена";
        case FileProblem::PathTooLong: return u"путь к файлу слишком длинный";
        case FileProblem::None:
        case FileProblem::Other: break;
    }
    return u"система не дала записать файл";
}

// ---- The window ----------------------------------------------------------------

constexpr short NOTICE_WIDTH = 290;   // dialog units
constexpr short NOTICE_HEIGHT = 150;
constexpr int16_t OK_BUTTON_WIDTH = 50;

// Builds a DLGTEMPLATEEX with its items, each field in its place and each
// item on a four-byte boundary.
struct TemplateWriter {
    alignas(4) uint8_t bytes[1024];
    size_t size = 0;

    void Raw(const void* data, size_t length) {
        if (size + length > sizeof bytes) return;
        std::memcpy(bytes + size, data, length);
        size += length;
    }
    void Word(uint16_t value) { Raw(&value, sizeof value); }
    void Dword(uint32_t value) { Raw(&value, sizeof value); }
    void Text(const char16_t* text) {
        do Word(static_cast<uint16_t>(*text)); while (*text++);
    }
    void AlignToDword() {
        while (size % 4) Word(0);
    }
    void Item(uint32_t style, int16_t x, int16_t y, int16_t cx, int16_t cy, uint32_t id,
              uint16_t classOrdinal, const char16_t* text) {
        AlignToDword();
        Dword(0);  // help id
        Dword(0);  // extended style
        Dword(WS_CHILD | WS_VISIBLE | style);
        for (int16_t value : {x, y, cx, cy}) Word(static_cast<uint16_t>(value));
        Dword(id);
        Word(0xFFFF);
        Word(classOrdinal);
        Text(text);
        Word(0);  // no creation data
    }
};

// IDI_WARNING, which the headers give in the ANSI form only.
const LPCWSTR WARNING_ICON = MAKEINTRESOURCEW(32515);

constexpr uint16_t BUTTON_CLASS = 0x0080;
constexpr uint16_t EDIT_CLASS = 0x0081;
constexpr uint16_t STATIC_CLASS = 0x0082;

// The dialog's font asks for the Cyrillic character set itself, so the
// texts read in Russian on a system of any code page.
const TemplateWriter& NoticeTemplate() {
    static TemplateWriter writer;
    if (writer.size) return writer;
    writer.Word(1);       // version
    writer.Word(0xFFFF);  // extended template
    writer.Dword(0);      // help id
    writer.Dword(WS_EX_DLGMODALFRAME);
    writer.Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT |
                 DS_CENTER | DS_3DLOOK);
    writer.Word(3);  // items
    for (int16_t value : {int16_t{0}, int16_t{0}, NOTICE_WIDTH, NOTICE_HEIGHT}) {
        writer.Word(static_cast<uint16_t>(value));
    }
    writer.Word(0);  // no menu
    writer.Word(0);  // the dialog class
    writer.Text(reinterpret_cast<const char16_t*>(SAVE_NOTICE_CAPTION));
    writer.Word(8);    // points
    writer.Word(FW_NORMAL);
    writer.Raw("\0", 1);  // not italic
    const uint8_t charset = RUSSIAN_CHARSET;
    writer.Raw(&charset, 1);
    writer.Text(u"MS Shell Dlg");

    writer.Item(SS_ICON, 7, 7, 21, 20, IDC_NOTICE_ICON, STATIC_CLASS, u"");
    writer.Item(ES_MULTILINE | ES_READONLY | WS_VSCROLL, 34, 7, NOTICE_WIDTH - 41,
                NOTICE_HEIGHT - 34, IDC_NOTICE_TEXT, EDIT_CLASS, u"");
    writer.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, NOTICE_WIDTH - 7 - OK_BUTTON_WIDTH,
                NOTICE_HEIGHT - 21, OK_BUTTON_WIDTH, 14, IDOK, BUTTON_CLASS, u"ОК");
    return writer;
}

INT_PTR CALLBACK NoticeProc(HWND notice, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            SendDlgItemMessageW(notice, IDC_NOTICE_ICON, STM_SETICON,
                                reinterpret_cast<WPARAM>(LoadIconW(nullptr, WARNING_ICON)), 0);
            return TRUE;  // the button takes the focus
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) DestroyWindow(notice);
            return TRUE;
        case WM_DESTROY:
            if (g_notice == notice) g_notice = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

// Shows `text`, in the notice already open or in a new one.
void ShowNotice(HWND owner, const NoticeText& text) {
    if (!g_notice || !IsWindow(g_notice)) {
        const auto& dialog = NoticeTemplate();
        g_notice = CreateDialogIndirectParamW(
            g_hEditorInstance, reinterpret_cast<LPCDLGTEMPLATEW>(dialog.bytes), owner, NoticeProc,
            0);
        if (!g_notice) return;
    }
    SetDlgItemTextW(g_notice, IDC_NOTICE_TEXT, text.text);
    SetForegroundWindow(g_notice);
}

}  // namespace

void TellAboutSave(HWND owner, const SaveReport& report, bool failed) {
    static NoticeText notice;  // large; the host's one thread only
    notice.length = 0;
    if (report.lost.count > 0) {
        Append(notice, u"Файл списка правил изменила другая программа. Ваши изменения внесены в "
                       u"новую версию списка, кроме изменений правил, которых в ней больше нет (");
        AppendNumber(notice, report.lost.count);
        Append(notice, u"):\r\n");
        for (uint32_t i = 0; i < report.lost.count && i < LOST_CHANGES_SHOWN; ++i) {
            AppendRule(notice, report.lost.rules[i]);
        }
        if (report.lost.count > LOST_CHANGES_SHOWN) Append(notice, u"…\r\n");
        if (report.keptVersion[0]) {
            Append(notice, u"Версия другой программы сохранена в файле\r\n");
            AppendPath(notice, report.keptVersion);
            Append(notice, u"\r\n");
        }
        if (failed) Append(notice, u"\r\n");
    }
    if (failed) {
        Append(notice, u"Не удалось сохранить список правил в файл\r\n");
        AppendPath(notice, g_ruleFile.path);
        Append(notice, u"\r\nПричина: ");
        Append(notice, ReasonText(report.problem));
        Append(notice, u".\r\n\r\nИзменения не потеряны: они остаются в памяти, и модуль снова "
                       u"попробует сохранить их при закрытии редактора и при выгрузке.\r\n\r\n");
        if (report.recoveryCopy[0]) {
            Append(notice, u"Копия списка с изменениями сохранена в файле\r\n");
            AppendPath(notice, report.recoveryCopy);
        } else {
            Append(notice, u"Копию списка сохранить не удалось: изменения есть только в памяти. "
                           u"Не закрывайте программу, пока файл не освободится.");
        }
    }
    if (notice.length > 0) ShowNotice(owner, notice);
}

void TellOfEarlierRecoveryCopies(HWND owner) {
    static NoticeText notice;
    notice.length = 0;
    char copy[RULE_PATH_BYTES];
    int found = 0;
    while (found < 20 && TakeUnreportedRecoveryCopy(copy)) {
        if (found++ == 0) {
            Append(notice, u"Прошлый сеанс работы не смог сохранить список правил в файл\r\n");
            AppendPath(notice, g_ruleFile.path);
            Append(notice, u"\r\n\r\nНесохранённый список находится в файле:\r\n");
        }
        AppendPath(notice, copy);
        Append(notice, u"\r\n");
    }
    if (found == 0) return;
    Append(notice, u"\r\nЧтобы вернуть его, поставьте этот файл на место torvo.tdb или добавьте "
                   u"его правила к списку командой torvo-rules merge.");
    ShowNotice(owner, notice);
}

void TellOperator(HWND owner, const char16_t* text) {
    static NoticeText notice;
    notice.length = 0;
    Append(notice, text);
    ShowNotice(owner, notice);
}

void DismissSaveNotice() {
    if (g_notice) DestroyWindow(g_notice);
    g_notice = nullptr;
}
