// What the console does alike on every platform; the rest is in
// console_posix.cpp and console_win32.cpp.
#include <cstdio>

#include "console.hpp"

void readOneCharacter() {
    std::fflush(stdout);
    (void)std::getchar();
}
