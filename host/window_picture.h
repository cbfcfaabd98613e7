// Pictures of a window for the demo: its pixels read back, written as PNG
// (by the file's ".png" ending) or else as a 24-bit BMP.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // top row first, 3 bytes a pixel
};

// The window with its frame as it is on screen; an empty picture on failure.
Picture CaptureWindow(HWND window);
bool WritePicture(const char* path, const Picture& picture);
