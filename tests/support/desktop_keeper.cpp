// Keeps the Wine desktop open for a whole test run. Wine closes a desktop
// about a second after the last program on it ends, and the next program
// then waits for the desktop's process to start again: a fraction of a
// second natively, seconds where the CPU is emulated, for every test
// program. Started before the tests (tools/wine-session.sh), this program
// stays on the desktop without a window until the session ends it.
// Usage: desktop_keeper.exe READY-FILE, which it creates once attached.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    // Attaches this process to the desktop, starting the desktop if needed.
    if (!GetDesktopWindow()) return 1;
    const HANDLE ready = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(ready);
    Sleep(INFINITE);
    return 0;
}
