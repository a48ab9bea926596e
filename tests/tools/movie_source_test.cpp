// qztool reads a movie file through a bounded window: every read, however it lies across the
// window or the end of the file, must give the file's bytes, and a file cut short after it was
// opened must show as a failed read rather than as bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>

#include "tests/support/test_support.h"
#include "tools/movie_file.h"

TEST(MovieSource, ReadsAnyRangeOfTheFileAndReportsAFileCutShort) {
    Bytes bytes(700000);
    std::mt19937 random(11);
    for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
    const std::string path = qztest::writeScratchFile("long.bin", bytes);
    std::string message;
    std::unique_ptr<ByteSource> file = qztool::openMovie(path, message);
    ASSERT_TRUE(file) << message;
    ASSERT_EQ(file->size(), bytes.size());

    // Around the window's edges, larger than the window reads directly, backwards, the tail.
    const std::pair<std::size_t, std::size_t> reads[] = {
        {0, 8},          {262140, 8},    {8, 200000}, {262140, 131072}, {1000, 131071},
        {699990, 10},    {699999, 1},    {5, 3},      {0, 700000},      {393000, 20},
        {262144, 65536}, {131000, 8000}, {0, 0},      {700000, 0},
    };
    for (const auto& [offset, count] : reads) {
        Bytes got(count + 1, 0xAA);
        file->read(offset, count, got.data());
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(count),
                               bytes.begin() + static_cast<std::ptrdiff_t>(offset)))
            << offset << " + " << count;
        EXPECT_EQ(got[count], 0xAA) << "wrote past " << offset << " + " << count;
    }
    EXPECT_FALSE(file->failed());

    std::filesystem::resize_file(path, 100000);
    Bytes got(8, 0xAA);
    file->read(600000, 8, got.data());
    EXPECT_TRUE(file->failed());
    EXPECT_EQ(got, Bytes(8, 0));
}
