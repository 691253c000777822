// Test files for the engines: a temporary file with given bytes, opened as
// the programs open a font, and its bytes read back after the edit.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "edit_stream.hpp"
#include "file_edit.hpp"

using Bytes = std::vector<std::uint8_t>;

struct MemoryFile {
    EditStream stream;
    FileTimes times{};
    std::string path;

    explicit MemoryFile(const Bytes& bytes) {
        // CTest runs the tests as parallel processes: each file needs a name
        // no other process picks.
        static std::random_device random;
        static int count = 0;
        path =
            (std::filesystem::temp_directory_path() /
             ("velnari-unit-" + std::to_string(random()) + "-" + std::to_string(count++) + ".bin"))
                .string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        openForEdit(path.c_str(), stream, times);
    }
    ~MemoryFile() {
        flushEditStream(stream, times);
        closeFile(stream.file);
        std::filesystem::remove(path);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // The file's bytes after pending writes are flushed, read through the
    // stream's own handle: nobody else may open the file while it is edited.
    Bytes bytes() {
        flushEditStream(stream, times);
        Bytes out;
        std::uint8_t chunk[4096];
        for (std::uint32_t at = 0;; at += sizeof chunk) {
            const std::size_t got = readFileAt(stream.file, at, chunk, sizeof chunk);
            out.insert(out.end(), chunk, chunk + got);
            if (got < sizeof chunk) {
                return out;
            }
        }
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
