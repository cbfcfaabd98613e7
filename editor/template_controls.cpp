// Corrections to the controls the dialog template makes, done at set-up so
// that the template's bytes stay as they are:
//   - the Russian labels and button texts, which the dialog manager may have
//     passed through the system's ANSI code page, are given again from the
//     template's own UTF-16 texts;
//   - the IP field is remade with automatic horizontal scrolling, without
//     which an edit control refuses text wider than itself;
//   - on a system whose dialog font is not Cyrillic, a Cyrillic font for the
//     controls that show the template's font.
#include "editor/editor_parts.h"
#include "editor/editor_state.h"

#include "editor/rule_list_drawing.h"
#include "resources/resource_ids.h"
#include "rules/rule.h"

#include <cstdint>
#include <cstring>
#include <cwchar>

namespace {

// The extended dialog template, read within the resource's bytes.
struct TemplateReader {
    const uint8_t* at;
    const uint8_t* end;

    bool Has(size_t bytes) const { return at && static_cast<size_t>(end - at) >= bytes; }
    void Skip(size_t bytes) { at = Has(bytes) ? at + bytes : nullptr; }
    uint16_t Word() {
        uint16_t value = 0;
        if (Has(sizeof value)) std::memcpy(&value, at, sizeof value);
        Skip(sizeof value);
        return value;
    }
    uint32_t Dword() {
        uint32_t value = 0;
        if (Has(sizeof value)) std::memcpy(&value, at, sizeof value);
        Skip(sizeof value);
        return value;
    }
    // A zero-terminated UTF-16 text; null when it runs past the end.
    const wchar_t* Text() {
        const uint8_t* start = at;
        for (;;) {
            if (!Has(2)) {
                at = nullptr;
                return nullptr;
            }
            if (Word() == 0) return reinterpret_cast<const wchar_t*>(start);
        }
    }
    // An ordinal (0xFFFF and a number), nothing (0), or a text.
    const wchar_t* TextOrOrdinal(uint16_t& ordinal) {
        ordinal = 0;
        if (!Has(2)) {
            at = nullptr;
            return nullptr;
        }
        uint16_t first = 0;
        std::memcpy(&first, at, sizeof first);
        if (first == 0xFFFF) {
            Skip(2);
            ordinal = Word();
            return nullptr;
        }
        if (first == 0) {
            Skip(2);
            return nullptr;
        }
        return Text();
    }
    void AlignToDword(const uint8_t* base) {
        const size_t offset = static_cast<size_t>(at - base);
        Skip((4 - offset % 4) % 4);
    }
};

constexpr uint16_t BUTTON_CLASS = 0x0080;
constexpr uint16_t STATIC_CLASS = 0x0082;
constexpr int LONGEST_TEMPLATE_TEXT = 64;

bool IsSameText(HWND control, const wchar_t* text) {
    wchar_t shown[LONGEST_TEMPLATE_TEXT + 1] = {};
    GetWindowTextW(control, shown, LONGEST_TEMPLATE_TEXT + 1);
    return std::wcscmp(shown, text) == 0;
}

}  // namespace

// Walks the template's items beside the dialog's children, which the dialog
// manager created in template order. A label or button whose text differs
// from the template's (question marks for every Cyrillic letter when the
// system's code page is not Cyrillic) gets the template's text through the
// wide call. With the template's texts in place nothing is sent.
void ShowTemplateTextsWhole(HWND dialog) {
    const HRSRC found = FindResourceA(g_hEditorInstance, MAKEINTRESOURCEA(IDD_EDITOR), RT_DIALOG);
    const HGLOBAL loaded = found ? LoadResource(g_hEditorInstance, found) : nullptr;
    const auto* base = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
    if (!base) return;
    TemplateReader reader{base, base + SizeofResource(g_hEditorInstance, found)};

    if (reader.Word() != 1 || reader.Word() != 0xFFFF) return;  // not an extended template
    reader.Skip(2 * sizeof(uint32_t));                          // help id, extended style
    const uint32_t style = reader.Dword();
    const uint16_t itemCount = reader.Word();
    reader.Skip(4 * sizeof(int16_t));  // x, y, cx, cy
    uint16_t ordinal = 0;
    reader.TextOrOrdinal(ordinal);  // menu
    reader.TextOrOrdinal(ordinal);  // class
    reader.Text();                  // caption
    if (style & DS_SETFONT) {
        reader.Skip(2 * sizeof(uint16_t) + 2);  // point size, weight, italic, character set
        reader.Text();                          // face
    }

    HWND control = GetWindow(dialog, GW_CHILD);
    for (uint16_t item = 0; item < itemCount && control && reader.at; ++item) {
        reader.AlignToDword(base);
        reader.Skip(3 * sizeof(uint32_t) + 4 * sizeof(int16_t));  // help id, styles, place
        const uint32_t id = reader.Dword();
        uint16_t classOrdinal = 0;
        reader.TextOrOrdinal(classOrdinal);
        uint16_t textOrdinal = 0;
        const wchar_t* text = reader.TextOrOrdinal(textOrdinal);
        reader.Skip(reader.Word());  // creation data
        if (!reader.at) return;

        // Stop at the first child that is not this item's control.
        if (LOWORD(GetDlgCtrlID(control)) != LOWORD(id)) return;
        const bool labelOrButton = classOrdinal == STATIC_CLASS || classOrdinal == BUTTON_CLASS;
        if (labelOrButton && text && !IsSameText(control, text)) SetWindowTextW(control, text);
        control = GetWindow(control, GW_HWNDNEXT);
    }
}

// Edit controls take ES_AUTOHSCROLL only when they are created, so the
// field is made anew in the template's place, with the template's styles,
// font and tab position, and the old one goes. The limit keeps what the
// field can show to what a rule can hold.
void LetIpFieldScroll(HWND dialog) {
    const HWND old = GetDlgItem(dialog, IDC_IP);
    if (!old) return;
    const auto style = static_cast<DWORD>(GetWindowLongA(old, GWL_STYLE));
    const auto extendedStyle = static_cast<DWORD>(GetWindowLongA(old, GWL_EXSTYLE));
    RECT place;
    GetWindowRect(old, &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    const HWND field = CreateWindowExA(
        extendedStyle, "Edit", "", style | ES_AUTOHSCROLL, place.left, place.top,
        place.right - place.left, place.bottom - place.top, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_IP)),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(old, GWLP_HINSTANCE)), nullptr);
    if (!field) return;  // the template's field stays
    SendMessageA(field, WM_SETFONT, SendMessageA(old, WM_GETFONT, 0, 0), FALSE);
    SendMessageA(field, EM_LIMITTEXT, RULE_IP_TEXT_BYTES - 1, 0);
    SetWindowPos(field, old, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    DestroyWindow(old);
}

namespace {

BOOL CALLBACK SetFontWhereDialogFont(HWND control, LPARAM fonts) {
    const auto* pair = reinterpret_cast<const HFONT*>(fonts);  // {dialog font, new font}
    if (reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)) == pair[0]) {
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(pair[1]), FALSE);
    }
    return TRUE;
}

}  // namespace

// The template asks for its face with the default character set, which is
// the system's own: on a Western system a face such as the bitmap MS Sans
// Serif then comes in its Western form and draws every Cyrillic letter as a
// box. The controls that use the dialog's font get the same face and size
// with the Cyrillic character set instead; where the dialog's font is
// Cyrillic already nothing changes.
void GiveTextsACyrillicFont(HWND dialog) {
    const auto dialogFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    if (!dialogFont) return;
    const HDC dc = GetDC(dialog);
    const HGDIOBJ previous = SelectObject(dc, dialogFont);
    const int charset = GetTextCharset(dc);
    SelectObject(dc, previous);
    ReleaseDC(dialog, dc);
    if (charset == RUSSIAN_CHARSET) return;

    LOGFONTA font;
    if (GetObjectA(dialogFont, sizeof font, &font) != sizeof font) return;
    font.lfCharSet = RUSSIAN_CHARSET;
    g_drawing.cyrillicDialogFont = CreateFontIndirectA(&font);
    if (!g_drawing.cyrillicDialogFont) return;
    const HFONT fonts[] = {dialogFont, g_drawing.cyrillicDialogFont};
    EnumChildWindows(dialog, SetFontWhereDialogFont, reinterpret_cast<LPARAM>(fonts));
}
