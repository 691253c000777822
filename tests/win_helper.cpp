// Windows side of the end-to-end tests, run under Wine like the programs:
//   win_helper times PATH              prints creation, last-access and last-write FILETIMEs
//   win_helper settimes PATH C A W     sets them (decimal 100 ns counts)
//   win_helper hold PATH SECONDS       holds PATH open (sharing everything), says "held"
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

FILETIME toFileTime(const char* text) {
    const unsigned long long value = std::strtoull(text, nullptr, 10);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}

unsigned long long fromFileTime(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

HANDLE openShared(const char* path, DWORD access) {
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "times") == 0) {
        const HANDLE file = openShared(argv[2], GENERIC_READ);
        FILETIME c, a, w;
        if (file == INVALID_HANDLE_VALUE || !GetFileTime(file, &c, &a, &w)) {
            return 1;
        }
        std::printf("%llu %llu %llu\n", fromFileTime(c), fromFileTime(a), fromFileTime(w));
        CloseHandle(file);
        return 0;
    }
    if (argc >= 6 && std::strcmp(argv[1], "settimes") == 0) {
        const HANDLE file = openShared(argv[2], FILE_WRITE_ATTRIBUTES);
        const FILETIME c = toFileTime(argv[3]), a = toFileTime(argv[4]), w = toFileTime(argv[5]);
        const bool ok = file != INVALID_HANDLE_VALUE && SetFileTime(file, &c, &a, &w);
        CloseHandle(file);
        return ok ? 0 : 1;
    }
    if (argc >= 4 && std::strcmp(argv[1], "hold") == 0) {
        const HANDLE file = openShared(argv[2], GENERIC_READ);
        if (file == INVALID_HANDLE_VALUE) {
            return 1;
        }
        std::printf("held\n");
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(std::atoi(argv[3]) * 1000));
        CloseHandle(file);
        return 0;
    }
    std::fprintf(stderr, "usage: win_helper times|settimes|hold PATH ...\n");
    return 2;
}
