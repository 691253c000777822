// The console: where the dialogue goes. Messages are CP932 bytes; how they
// are shown is the platform's business (console_posix.cpp, console_win32.cpp).
#pragma once

// Called once before anything is printed.
void consoleInit();

// Prints catalogue text (CP932). On a display that expects another encoding
// it is converted for reading; redirected output gets the bytes unchanged.
void printText(const char* cp932);

// Prints bytes exactly as given (the target path).
void printBytes(const char* bytes);

// Flushes what was printed, then reads one character from standard input.
void readOneCharacter();
