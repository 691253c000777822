// Windows side of the end-to-end tests, run under Wine like the programs.
// Paths are taken as UTF-16 from the command line, so any name works:
//   win_helper times PATH              prints creation, last-access and last-write FILETIMEs
//   win_helper settimes PATH C A W     sets them (decimal 100 ns counts)
//   win_helper hold PATH SECONDS       holds PATH open (sharing everything), says "held"
//   win_helper lock PATH SECONDS       holds PATH open sharing nothing, as Windows holds an
//                                      installed font, says "held"
//   win_helper copy FROM TO            copies FROM to TO
//   win_helper fontsdir                prints the folder of the fonts Windows has installed
//   win_helper race PATH SECONDS       opens and closes PATH over and over, says "racing"
//   win_helper readonly PATH           gives PATH the read-only attribute
//   win_helper move FROM TO            renames FROM to TO; fails while FROM is held unshared
//   win_helper codepages               prints the ANSI and the console output code page
#include <windows.h>
// After windows.h, which they need.
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>

namespace {

FILETIME toFileTime(const wchar_t* text) {
    const unsigned long long value = std::wcstoull(text, nullptr, 10);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}

unsigned long long fromFileTime(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

HANDLE openShared(const wchar_t* path, DWORD access) {
    return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void say(const char* word) {
    std::printf("%s\n", word);
    std::fflush(stdout);
}

int run(int argc, wchar_t** argv) {
    const wchar_t* command = argc >= 2 ? argv[1] : L"";
    if (std::wcscmp(command, L"codepages") == 0) {
        std::printf("%u %u\n", GetACP(), GetConsoleOutputCP());
        return 0;
    }
    if (argc >= 3 && std::wcscmp(command, L"times") == 0) {
        const HANDLE file = openShared(argv[2], GENERIC_READ);
        FILETIME c, a, w;
        if (file == INVALID_HANDLE_VALUE || !GetFileTime(file, &c, &a, &w)) {
            return 1;
        }
        std::printf("%llu %llu %llu\n", fromFileTime(c), fromFileTime(a), fromFileTime(w));
        CloseHandle(file);
        return 0;
    }
    if (argc >= 6 && std::wcscmp(command, L"settimes") == 0) {
        const HANDLE file = openShared(argv[2], FILE_WRITE_ATTRIBUTES);
        const FILETIME c = toFileTime(argv[3]), a = toFileTime(argv[4]), w = toFileTime(argv[5]);
        const bool ok = file != INVALID_HANDLE_VALUE && SetFileTime(file, &c, &a, &w);
        CloseHandle(file);
        return ok ? 0 : 1;
    }
    if (std::wcscmp(command, L"fontsdir") == 0) {
        wchar_t folder[MAX_PATH];
        if (SHGetFolderPathW(nullptr, CSIDL_FONTS, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) {
            return 1;
        }
        std::printf("%ls\n", folder);
        return 0;
    }
    if (argc >= 4 && std::wcscmp(command, L"copy") == 0) {
        return CopyFileW(argv[2], argv[3], FALSE) ? 0 : 1;
    }
    if (argc >= 4 && (std::wcscmp(command, L"hold") == 0 || std::wcscmp(command, L"lock") == 0)) {
        const HANDLE file =
            std::wcscmp(command, L"hold") == 0
                ? openShared(argv[2], GENERIC_READ)
                : CreateFileW(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return 1;
        }
        say("held");
        Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10) * 1000));
        CloseHandle(file);
        return 0;
    }
    if (argc >= 4 && std::wcscmp(command, L"race") == 0) {
        say("racing");
        const ULONGLONG end = GetTickCount64() + std::wcstoul(argv[3], nullptr, 10) * 1000;
        while (GetTickCount64() < end) {
            const HANDLE file = openShared(argv[2], GENERIC_READ);
            if (file != INVALID_HANDLE_VALUE) {
                Sleep(0);
                CloseHandle(file);
            }
        }
        return 0;
    }
    if (std::wcscmp(command, L"readonly") == 0) {
        return SetFileAttributesW(argv[2], FILE_ATTRIBUTE_READONLY) ? 0 : 1;
    }
    if (argc >= 4 && std::wcscmp(command, L"move") == 0) {
        return MoveFileW(argv[2], argv[3]) ? 0 : 1;
    }
    std::fprintf(
        stderr,
        "usage: win_helper times|settimes|hold|lock|race|readonly|move|copy|fontsdir ...\n");
    return 2;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    return argv == nullptr ? 2 : run(argc, argv);
}
