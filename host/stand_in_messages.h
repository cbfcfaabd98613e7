// The host's side of the messages the module posts: the message pump, and
// the row redraws (LVM_REDRAWITEMS) it asks of the visitor list, either
// left waiting in the queue of a stand-in window or counted by a real list
// view as they arrive.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// Dispatches every message waiting in this thread's queue.
void PumpMessages();
// Keeps dispatching this thread's messages (timers among them) for a while.
void PumpMessagesFor(DWORD milliseconds);

// What the keyboard sends `window` for `key`, with Ctrl and Shift held or
// not as asked (the thread's key state says so while it is handled), then
// the queue pumped.
void PressKey(HWND window, WPARAM key, bool control = false, bool shift = false);
// The clipboard's Unicode text, set as another program sets it.
bool SetClipboardText(const std::wstring& text);

// A hidden top-level window whose queue receives the posted row redraws.
HWND CreateMessageSink();
// LVM_REDRAWITEMS messages waiting for `window`, as (first, last) pairs,
// removed from the queue.
std::vector<std::pair<WPARAM, LPARAM>> TakeRedraws(HWND window);

// Row redraws a list view received, counted as they arrive.
struct RedrawCount {
    std::vector<int> rows;  // per row of the list
    int stray = 0;          // for rows past the list's end, or first > last
};
// Has the list view `list` count the redraws it receives into `count`, a
// record that outlives the list, then handle them as before.
bool CountRedraws(HWND list, RedrawCount& count);
