// Test files for the engines: an anonymous temporary file with given bytes,
// attached as an edit stream, and its bytes read back after the edit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "edit_stream.hpp"

using Bytes = std::vector<std::uint8_t>;

struct MemoryFile {
    EditStream stream;

    explicit MemoryFile(const Bytes& bytes) {
        std::FILE* file = std::tmpfile();
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fflush(file);
        attachEditStream(stream, file);
    }
    ~MemoryFile() { std::fclose(stream.file); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // The file's bytes after pending writes are flushed.
    Bytes bytes() {
        flushEditStream(stream);
        std::fseek(stream.file, 0, SEEK_END);
        Bytes out(static_cast<std::size_t>(std::ftell(stream.file)));
        std::fseek(stream.file, 0, SEEK_SET);
        out.resize(std::fread(out.data(), 1, out.size(), stream.file));
        return out;
    }
};

// "text" as UTF-16BE, for ASCII text.
inline Bytes utf16(const char* text) {
    Bytes out;
    for (; *text != '\0'; ++text) {
        out.push_back(0x00);
        out.push_back(static_cast<std::uint8_t>(*text));
    }
    return out;
}

inline void put(Bytes& into, std::size_t at, const Bytes& what) {
    if (into.size() < at + what.size()) {
        into.resize(at + what.size(), 0);
    }
    for (std::size_t i = 0; i < what.size(); ++i) {
        into[at + i] = what[i];
    }
}
