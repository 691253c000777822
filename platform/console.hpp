// The console: where the dialogue goes, and where the command line comes
// from. Messages are CP932 bytes; how they are shown is the platform's
// business (console_posix.cpp, console_win32.cpp).
#pragma once

// Called once before anything is printed.
void consoleInit();

// The arguments as the rest of the run takes them: on POSIX the bytes as
// given; on Windows the UTF-16 command line as UTF-8, so no name is lost.
char** commandLine(int& argc, char** argv);

// Prints catalogue text (CP932). On a display that expects another encoding
// it is converted for reading; redirected output gets the bytes unchanged.
void printText(const char* cp932);

// Prints a path (or the program's name) as it came from commandLine: on
// POSIX byte for byte; on Windows readable on the console, and in CP932 when
// redirected, like the messages around it.
void printPath(const char* path);

// Whether standard input is a terminal or console, where a person types.
bool inputIsInteractive();

// Reads one byte of standard input, unbuffered; false at its end or on an error.
bool readInputByte(char& byte);

// Flushes what was printed, then takes what Enter needs and no more: the one
// line typed at a terminal or console, or exactly one byte from a pipe or a
// file, so that the rest of a script's input stays the script's.
void readEnter();
