// The console and the command line on Windows.
//
// The command line is read as UTF-16 (GetCommandLineW) and handed to the run
// as UTF-8, which file_win32.cpp turns back into UTF-16 for the wide
// file API: no name is ever squeezed through the ANSI code page, which would
// turn "Café" into "Cafe" or "Ω" into "O" and open another file.
//
// One rule for output. On a console (GetConsoleMode succeeds), every text
// goes out as UTF-16 through WriteConsoleW, whatever the console's code page:
// the messages converted from CP932, the path as the UTF-16 it is.
// Redirected to a file or a pipe, standard output stays a text-mode stream
// (CR LF line ends) carrying CP932 bytes: the messages unchanged, and the
// path converted to CP932 without best-fit guesses, "?" for what CP932 lacks.
// Only where the console's output code page is 65001 (after chcp 65001) does
// redirected output carry UTF-8 instead, without a BOM, which is what the
// tools of such a user read.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>

#include "console.hpp"

namespace {

constexpr int LONGEST_TEXT = 32768;

HANDLE wideConsole = nullptr;  // set when standard output is a console
bool utf8Output = false;       // redirected under code page 65001

void writeWide(const wchar_t* text, int length) {
    std::fflush(stdout);  // keep the order with what went through the stream
    DWORD written = 0;
    WriteConsoleW(wideConsole, text, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace

void consoleInit() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (output != INVALID_HANDLE_VALUE && output != nullptr && GetConsoleMode(output, &mode) != 0) {
        wideConsole = output;
        return;
    }
    utf8Output = GetConsoleOutputCP() == CP_UTF8;
}

bool inputIsInteractive() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool readInputByte(char& byte) {
    DWORD got = 0;
    return ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, nullptr) != 0 && got == 1;
}

char** commandLine(int& argc, char** argv) {
    // The converted arguments live for the whole run. A command line holds at
    // most 32,767 UTF-16 units, each at most 3 bytes of UTF-8.
    static char text[3 * LONGEST_TEXT];
    static char* arguments[LONGEST_TEXT / 2 + 1];
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return argv;
    }
    int used = 0;
    for (int i = 0; i < count; ++i) {
        const int length =
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text + used,
                                static_cast<int>(sizeof text) - used, nullptr, nullptr);
        if (length == 0) {
            LocalFree(wide);
            return argv;
        }
        arguments[i] = text + used;
        used += length;
    }
    arguments[count] = nullptr;
    LocalFree(wide);
    argc = count;
    return arguments;
}

void printText(const char* cp932) {
    if (wideConsole != nullptr || utf8Output) {
        wchar_t wide[LONGEST_TEXT];
        const int length = MultiByteToWideChar(932, 0, cp932, -1, wide, LONGEST_TEXT);
        if (length > 0 && wideConsole != nullptr) {
            writeWide(wide, length - 1);
            return;
        }
        char utf8[3 * LONGEST_TEXT];
        if (length > 0 &&
            WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr) > 0) {
            std::fputs(utf8, stdout);
            return;
        }
    }
    std::fputs(cp932, stdout);
}

void printPath(const char* path) {
    wchar_t wide[LONGEST_TEXT];
    const int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, LONGEST_TEXT);
    if (length == 0) {
        std::fputs(path, stdout);
        return;
    }
    if (wideConsole != nullptr) {
        writeWide(wide, length - 1);
        return;
    }
    if (utf8Output) {
        std::fputs(path, stdout);
        return;
    }
    char cp932[3 * LONGEST_TEXT];
    if (WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide, -1, cp932, sizeof cp932, "?",
                            nullptr) > 0) {
        std::fputs(cp932, stdout);
    }
}
