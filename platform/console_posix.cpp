// The console on POSIX systems. Redirected output gets the catalogue's CP932
// bytes unchanged, as scripts expect. A terminal gets them converted to its
// locale's character set, since few terminals here speak Shift_JIS.
#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "console.hpp"

namespace {

iconv_t toTerminal;
bool converting = false;  // the terminal's character set is not CP932

bool isShiftJis(const char* charset) {
    const char* const names[] = {"CP932", "SHIFT_JIS",   "SHIFT-JIS",
                                 "SJIS",  "WINDOWS-31J", "MS_KANJI"};
    for (const char* name : names) {
        if (strcasecmp(charset, name) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

void consoleInit() {
    // A reader that goes away (a pipe into head) must not end the run in the
    // middle of a list of fonts: what cannot be printed is lost, and the
    // edits and the exit status go on as they would.
    std::signal(SIGPIPE, SIG_IGN);
    if (isatty(STDOUT_FILENO) == 0) {
        return;
    }
    std::setlocale(LC_CTYPE, "");
    const char* charset = nl_langinfo(CODESET);
    if (isShiftJis(charset)) {
        return;
    }
    // The C locale names plain ASCII, which cannot show Japanese at all; the
    // terminal behind it is almost always UTF-8.
    if (std::strcmp(charset, "ANSI_X3.4-1968") == 0 || std::strcmp(charset, "ASCII") == 0) {
        charset = "UTF-8";
    }
    toTerminal = iconv_open(charset, "CP932");
    // iconv_open's failure value is (iconv_t)-1.
    converting = toTerminal != reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
}

bool inputIsInteractive() {
    return isatty(STDIN_FILENO) != 0;
}

bool readInputByte(char& byte) {
    ssize_t got = 0;
    do {
        got = read(STDIN_FILENO, &byte, 1);
    } while (got < 0 && errno == EINTR);
    return got == 1;
}

char** commandLine(int&, char** argv) {
    return argv;
}

// The path is whatever bytes the file system holds: printed as they are.
void printPath(const char* path) {
    std::fputs(path, stdout);
}

void printText(const char* cp932) {
    if (converting) {
        char converted[1024];
        char* in = const_cast<char*>(cp932);
        std::size_t inLeft = std::strlen(cp932);
        char* out = converted;
        std::size_t outLeft = sizeof converted;
        iconv(toTerminal, nullptr, nullptr, nullptr, nullptr);
        if (iconv(toTerminal, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) &&
            iconv(toTerminal, nullptr, nullptr, &out, &outLeft) != static_cast<std::size_t>(-1)) {
            std::fwrite(converted, 1, static_cast<std::size_t>(out - converted), stdout);
            return;
        }
    }
    std::fputs(cp932, stdout);
}
