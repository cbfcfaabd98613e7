// The stand-in host's output and its command-line options.
#include "host/host_parts.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void PrintError(const std::string& text) {
    std::fflush(stdout);
    const std::string line = "torvo_host: " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

// Wine passes our bytes through to a pipe unchanged, so everything is UTF-8.
std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], bytes,
                        nullptr, nullptr);
    return utf8;
}

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*lX", digits, static_cast<unsigned long>(value));
    return text;
}

bool ParseNumber(const char* text, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return *text && end && *end == '\0';
}

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        auto value = [&]() -> const char* { return argv[++i]; };
        if (option == "--help") {
            options.help = true;
        } else if (option == "--editor") {
            options.editor = true;
        } else if (option == "--ansi") {
            options.ansi = true;
        } else if (option == "--visitors" && hasValue) {
            options.visitorFile = value();
        } else if (option == "--config" && hasValue) {
            options.configFile = value();
        } else if (option == "--screenshot" && hasValue) {
            options.screenshotFile = value();
        } else if (option == "--write-sample-rules" && hasValue) {
            options.sampleRulesFile = value();
        } else if (option == "--present" && hasValue) {
            if (!ParseNumber(value(), options.present) || options.present < 0) {
                error = "--present needs a number of visitors";
                return false;
            }
        } else if (option == "--recheck" && hasValue) {
            if (!ParseNumber(value(), options.recheckRow) || options.recheckRow < 1) {
                error = "--recheck needs a table row, 1 or more";
                return false;
            }
        } else {
            error = "unknown option or missing value: " + option;
            return false;
        }
    }
    return true;
}
