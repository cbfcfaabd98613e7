#include "host/stand_in_messages.h"

#include <cstring>

#include <windows.h>
#include <commctrl.h>

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void PumpMessagesFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        PumpMessages();
        Sleep(10);
    } while (GetTickCount() - start < milliseconds);
    PumpMessages();
}

HWND CreateMessageSink() {
    return CreateWindowExA(0, "STATIC", "sink", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

std::vector<std::pair<WPARAM, LPARAM>> TakeRedraws(HWND window) {
    std::vector<std::pair<WPARAM, LPARAM>> redraws;
    MSG message;
    while (PeekMessageA(&message, window, LVM_REDRAWITEMS, LVM_REDRAWITEMS, PM_REMOVE)) {
        redraws.emplace_back(message.wParam, message.lParam);
    }
    return redraws;
}

namespace {

constexpr UINT_PTR REDRAW_COUNTER_ID = 1;

LRESULT CALLBACK CountingListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR, DWORD_PTR countRecord) {
    if (message == LVM_REDRAWITEMS) {
        RedrawCount& count = *reinterpret_cast<RedrawCount*>(countRecord);
        const LRESULT rows = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        const WPARAM first = wParam;
        const WPARAM last = static_cast<WPARAM>(lParam);
        if (first > last || last >= static_cast<WPARAM>(rows) || last >= count.rows.size()) {
            ++count.stray;
        } else {
            for (WPARAM row = first; row <= last; ++row) ++count.rows[row];
        }
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

}  // namespace

bool CountRedraws(HWND list, RedrawCount& count) {
    return SetWindowSubclass(list, CountingListProc, REDRAW_COUNTER_ID,
                             reinterpret_cast<DWORD_PTR>(&count)) != FALSE;
}

void PressKey(HWND window, WPARAM key, bool control, bool shift) {
    BYTE before[256] = {};
    GetKeyboardState(before);
    BYTE held[256];
    std::memcpy(held, before, sizeof held);
    held[VK_CONTROL] = control ? 0x80 : 0;
    held[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(held);
    SendMessageW(window, WM_KEYDOWN, key, 1);
    SendMessageW(window, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001));
    SetKeyboardState(before);
    PumpMessages();
}

bool SetClipboardText(const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block) return false;
    std::memcpy(GlobalLock(block), text.c_str(), bytes);
    GlobalUnlock(block);
    if (!OpenClipboard(nullptr)) {
        GlobalFree(block);
        return false;
    }
    EmptyClipboard();
    const bool set = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    CloseClipboard();
    if (!set) GlobalFree(block);
    return set;
}
