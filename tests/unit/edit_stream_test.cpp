#include "edit_stream.hpp"

#include <gtest/gtest.h>

#include "memory_file.hpp"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

Bytes counting(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    return bytes;
}

TEST(EditStream, ReadsServeTheFileBytesAndStopAtItsEnd) {
    const Bytes original = counting(100);
    MemoryFile file(original);
    std::uint8_t window[48] = {};
    EXPECT_EQ(readAt(file.stream, 10, window, 48), 48u);
    EXPECT_TRUE(std::equal(window, window + 48, original.begin() + 10));
    EXPECT_EQ(readAt(file.stream, 80, window, 48), 20u);
    EXPECT_TRUE(std::equal(window, window + 20, original.begin() + 80));
    EXPECT_EQ(readAt(file.stream, 100, window, 48), 0u);
    EXPECT_EQ(readAt(file.stream, 5000, window, 48), 0u);
    EXPECT_EQ(readAt(file.stream, 0, window, 1), 1u);
    EXPECT_EQ(window[0], original[0]);
}

TEST(EditStream, ReadsAcrossCacheWindowsOfALargeFile) {
    const Bytes original = counting(3 * EDIT_CACHE_SIZE + 5);
    MemoryFile file(original);
    std::uint8_t window[48];
    for (std::uint32_t offset : {0u, 16380u, 40000u, 5u, 49150u}) {
        const std::size_t expected = std::min<std::size_t>(48, original.size() - offset);
        ASSERT_EQ(readAt(file.stream, offset, window, 48), expected) << offset;
        EXPECT_TRUE(std::equal(window, window + expected, original.begin() + offset)) << offset;
    }
}

TEST(EditStream, WritesAreSeenByLaterReadsAndReachTheFileOnFlush) {
    Bytes expected = counting(300);
    MemoryFile file(expected);
    std::uint8_t window[4];
    readAt(file.stream, 0, window, 4);
    const std::uint8_t patch[3] = {0xAA, 0xBB, 0xCC};
    writeAt(file.stream, 200, patch, 3);
    writeAt(file.stream, 20, patch, 2);
    ASSERT_EQ(readAt(file.stream, 199, window, 4), 4u);
    EXPECT_EQ(window[1], 0xAA);
    EXPECT_EQ(window[3], 0xCC);
    put(expected, 200, {0xAA, 0xBB, 0xCC});
    put(expected, 20, {0xAA, 0xBB});
    EXPECT_EQ(flushEditStream(file.stream, file.times), FlushResult::Written);
    EXPECT_EQ(file.bytes(), expected);
}

// The window holds the whole region an engine touches: a write beyond it, or
// a read beyond it while a change is pending, refuses the edit, which then
// writes nothing at all. So does a file cut short since it was read, which a
// write would lengthen.
TEST(EditStream, AnEditThatCannotBeWholeWritesNothing) {
    const Bytes original = counting(3 * EDIT_CACHE_SIZE);
    const std::uint8_t two[2] = {1, 2};
    for (int c = 0; c < 3; ++c) {
        MemoryFile file(original);
        std::uint8_t byte = 0;
        readAt(file.stream, 10, &byte, 1);
        writeAt(file.stream, 10, two, 2);
        if (c == 0) {
            writeAt(file.stream, 2 * EDIT_CACHE_SIZE, two, 2);
        } else if (c == 1) {
            EXPECT_EQ(readAt(file.stream, 2 * EDIT_CACHE_SIZE, &byte, 1), 0u);
            writeAt(file.stream, 2 * EDIT_CACHE_SIZE, two, 2);
        }
        Bytes expected = original;
#ifndef _WIN32
        if (c == 2) {
            ASSERT_EQ(ftruncate(file.stream.file.descriptor, 100), 0);
            expected.resize(100);
        }
#else
        if (c == 2) {
            continue;  // no other handle may shorten the file while it is open
        }
#endif
        EXPECT_EQ(flushEditStream(file.stream, file.times), FlushResult::NotWritten) << c;
        EXPECT_EQ(file.bytes(), expected) << c;
    }
}

TEST(EditStream, NothingWrittenLeavesTheFileAsItWas) {
    const Bytes original = counting(5000);
    MemoryFile file(original);
    std::uint8_t window[48];
    for (std::uint32_t offset = 0; offset < 5000; offset += 97) {
        readAt(file.stream, offset, window, 48);
    }
    EXPECT_EQ(file.bytes(), original);
}

}  // namespace
