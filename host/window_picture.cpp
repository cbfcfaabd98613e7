#include "host/window_picture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

// Reads the window's own pixels back. PrintWindow would be the obvious call,
// but under Wine it leaves every child control blank.
Picture CaptureWindow(HWND window) {
    Picture picture;
    RECT frame;
    if (!GetWindowRect(window, &frame)) return picture;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    if (width <= 0 || height <= 0) return picture;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;

    HDC windowDc = GetWindowDC(window);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ previous = SelectObject(memoryDc, bitmap);
        const BOOL copied = BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
        SelectObject(memoryDc, previous);
        GdiFlush();
        if (copied) {
            const int stride = (width * 3 + 3) & ~3;
            picture.width = width;
            picture.height = height;
            picture.rgb.resize(static_cast<size_t>(width) * height * 3);
            for (int y = 0; y < height; ++y) {
                const uint8_t* bgr = static_cast<const uint8_t*>(bits) + y * stride;
                uint8_t* rgb = &picture.rgb[static_cast<size_t>(y) * width * 3];
                for (int x = 0; x < width; ++x) {
                    rgb[x * 3] = bgr[x * 3 + 2];
                    rgb[x * 3 + 1] = bgr[x * 3 + 1];
                    rgb[x * 3 + 2] = bgr[x * 3];
                }
            }
        }
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memoryDc);
    ReleaseDC(window, windowDc);
    return picture;
}

namespace {

void PutBigEndian(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xFF);
}

uint32_t Crc32(const std::string& bytes, size_t start) {
    static uint32_t table[256];
    if (!table[1]) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
    }
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = start; i < bytes.size(); ++i) {
        crc = table[(crc ^ static_cast<uint8_t>(bytes[i])) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

void PutChunk(std::string& png, const char* type, const std::string& data) {
    PutBigEndian(png, static_cast<uint32_t>(data.size()));
    const size_t typeStart = png.size();
    png.append(type, 4);
    png += data;
    PutBigEndian(png, Crc32(png, typeStart));
}

// A PNG whose image data is deflate's stored (uncompressed) blocks: larger
// than need be, but it needs no compression library.
std::string EncodePng(const Picture& picture) {
    std::string raw;
    const size_t rowBytes = static_cast<size_t>(picture.width) * 3;
    for (int y = 0; y < picture.height; ++y) {
        raw += '\0';  // filter: none
        raw.append(reinterpret_cast<const char*>(&picture.rgb[y * rowBytes]), rowBytes);
    }

    std::string zlib = "\x78\x01";
    constexpr size_t MAX_STORED_BLOCK = 65535;
    for (size_t at = 0; at == 0 || at < raw.size(); at += MAX_STORED_BLOCK) {
        const size_t length = std::min(MAX_STORED_BLOCK, raw.size() - at);
        const bool last = at + length >= raw.size();
        zlib += static_cast<char>(last ? 1 : 0);
        zlib += static_cast<char>(length & 0xFF);
        zlib += static_cast<char>(length >> 8);
        zlib += static_cast<char>(~length & 0xFF);
        zlib += static_cast<char>(~length >> 8 & 0xFF);
        zlib.append(raw, at, length);
    }
    uint32_t a = 1, b = 0;
    for (unsigned char byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBigEndian(zlib, b << 16 | a);

    std::string header;
    PutBigEndian(header, static_cast<uint32_t>(picture.width));
    PutBigEndian(header, static_cast<uint32_t>(picture.height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace

    std::string png("\x89PNG\r\n\x1A\n", 8);
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});
    return png;
}

std::string EncodeBmp(const Picture& picture) {
    const int stride = (picture.width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = picture.width;
    info.biHeight = picture.height;  // bottom row first
    info.biPlanes = 1;
    info.biBitCount = 24;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + stride * picture.height;

    std::string bmp(reinterpret_cast<const char*>(&file), sizeof file);
    bmp.append(reinterpret_cast<const char*>(&info), sizeof info);
    for (int y = picture.height - 1; y >= 0; --y) {
        const uint8_t* rgb = &picture.rgb[static_cast<size_t>(y) * picture.width * 3];
        std::string row(stride, '\0');
        for (int x = 0; x < picture.width; ++x) {
            row[x * 3] = static_cast<char>(rgb[x * 3 + 2]);
            row[x * 3 + 1] = static_cast<char>(rgb[x * 3 + 1]);
            row[x * 3 + 2] = static_cast<char>(rgb[x * 3]);
        }
        bmp += row;
    }
    return bmp;
}

bool EndsWithPng(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ending = path.substr(path.size() - 4);
    for (char& c : ending) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return ending == ".png";
}

}  // namespace

bool WritePicture(const char* path, const Picture& picture) {
    if (picture.width <= 0 || picture.height <= 0) return false;
    const std::string bytes = EndsWithPng(path) ? EncodePng(picture) : EncodeBmp(picture);
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}
