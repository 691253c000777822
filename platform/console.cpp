// What the console does alike on every platform; the rest is in
// console_posix.cpp and console_win32.cpp.
#include <cstdio>

#include "console.hpp"

void readEnter() {
    std::fflush(stdout);
    char byte = 0;
    if (!inputIsInteractive()) {
        (void)readInputByte(byte);
        return;
    }
    while (readInputByte(byte) && byte != '\n') {
    }
}
