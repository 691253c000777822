// The console on Windows. Standard output stays a text-mode stream, so each
// line feed goes out as CR LF. Redirected to a file or a pipe, it gets the
// catalogue's CP932 bytes unchanged. A console whose output code page is not
// 932 would show those bytes as mojibake, so there the messages are converted
// from CP932 and written as UTF-16 with WriteConsoleW.
#include <windows.h>

#include <cstdio>

#include "console.hpp"

namespace {

HANDLE wideConsole = nullptr;  // set when messages must be converted for the console

}  // namespace

void consoleInit() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (output != INVALID_HANDLE_VALUE && GetConsoleMode(output, &mode) != 0 &&
        GetConsoleOutputCP() != 932) {
        wideConsole = output;
    }
}

void printText(const char* cp932) {
    if (wideConsole != nullptr) {
        wchar_t wide[512];
        const int length = MultiByteToWideChar(932, 0, cp932, -1, wide, 512);
        if (length > 0) {
            std::fflush(stdout);  // keep the order with what went through the stream
            DWORD written = 0;
            WriteConsoleW(wideConsole, wide, static_cast<DWORD>(length - 1), &written, nullptr);
            return;
        }
    }
    std::fputs(cp932, stdout);
}
