// What the console does alike on every platform; the rest is in
// console_posix.cpp and console_win32.cpp.
#include "console.hpp"

#include <cstdio>

void printBytes(const char* bytes) {
    std::fputs(bytes, stdout);
}

void readOneCharacter() {
    std::fflush(stdout);
    (void)std::getchar();
}
