// The console and the command line on Windows.
//
// The command line is read as UTF-16 (GetCommandLineW) and handed to the run
// as UTF-8, which file_edit_win32.cpp turns back into UTF-16 for the wide
// file API: no name is ever squeezed through the ANSI code page, which would
// turn "Café" into "Cafe" or "Ω" into "O" and open another file.
//
// One rule for output. On a console (GetConsoleMode succeeds), every text
// goes out as UTF-16 through WriteConsoleW, whatever the console's code page:
// the messages converted from CP932, the path as the UTF-16 it is.
// Redirected to a file or a pipe, standard output stays a text-mode stream
// (CR LF line ends) carrying CP932 bytes: the messages unchanged, and the
// path converted to CP932 without best-fit guesses, "?" for what CP932 lacks.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>

#include "console.hpp"

namespace {

constexpr int LONGEST_TEXT = 32768;

HANDLE wideConsole = nullptr;  // set when standard output is a console

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
    }
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
    if (wideConsole != nullptr) {
        wchar_t wide[LONGEST_TEXT];
        const int length = MultiByteToWideChar(932, 0, cp932, -1, wide, LONGEST_TEXT);
        if (length > 0) {
            writeWide(wide, length - 1);
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
    char cp932[3 * LONGEST_TEXT];
    if (WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide, -1, cp932, sizeof cp932, "?",
                            nullptr) > 0) {
        std::fputs(cp932, stdout);
    }
}
