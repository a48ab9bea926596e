// Reading a fuzz input: bytes taken from the front as numbers (zeros once it runs out), and the
// rest split into frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Largest pictures the fuzz targets decode, in pixels. The decoders visit every macroblock of a
// picture however little of it lands in the target, so a few header bytes can cost thousands of
// macroblocks of zero bits; larger pictures only slow the search and test no path that smaller
// ones do not (wide and tall shapes within the bound remain). The whole-file targets allow a
// 320x240 picture.
inline constexpr long long fuzzFramePixels = 1 << 14;
inline constexpr long long fuzzMoviePixels = 1 << 17;

// A side of 0 counts as 1: a KRT key frame 0 pixels wide and 65535 high still sets up a table
// row by row (that alone took half of a long campaign's `krt` time).
inline bool pictureTooLargeToFuzz(long width, long height, long long largest) {
    const long long w = width == 0 ? 1 : std::labs(width);
    const long long h = height == 0 ? 1 : std::labs(height);
    return w * h > largest;
}

class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t u16() {
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | byte() << 8);
    }
    std::int16_t s16() { return static_cast<std::int16_t>(u16()); }

    // The next frame: a type selector byte, a 3-byte little-endian length and that many payload
    // bytes (fewer when the input ends first). False when no byte is left.
    bool frame(std::uint8_t& selector, const std::uint8_t*& payload, std::size_t& length) {
        if (pos_ >= size_) return false;
        selector = byte();
        std::size_t wanted = byte();
        wanted |= std::size_t{byte()} << 8;
        wanted |= std::size_t{byte()} << 16;
        payload = data_ + pos_;
        length = wanted < size_ - pos_ ? wanted : size_ - pos_;
        pos_ += length;
        return true;
    }

    const std::uint8_t* rest() const { return data_ + pos_; }
    std::size_t restSize() const { return size_ - pos_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};
