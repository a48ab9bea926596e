// Picture memory surrounded by guard bytes: a block before the first row, a block after the
// last and each row's padding past its picture bytes. A decoder that writes outside the rows it
// was given changes a guard, which check() reports by trapping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class GuardedMemory {
  public:
    // rows rows of rowBytes bytes, pitch bytes apart (pitch at least rowBytes, any value).
    GuardedMemory(std::size_t rowBytes, std::size_t rows, std::size_t pitch);
    ~GuardedMemory();
    GuardedMemory(const GuardedMemory&) = delete;
    GuardedMemory& operator=(const GuardedMemory&) = delete;

    std::uint8_t* pixels() { return bytes_.data() + guardBytes; }
    std::size_t pitch() const { return pitch_; }
    // Traps when a guard byte was changed since construction.
    void check() const;

    static constexpr std::size_t guardBytes = 256;
    static constexpr std::uint8_t guardValue = 0xA5;

  private:
    std::size_t rowBytes_;
    std::size_t rows_;
    std::size_t pitch_;
    std::vector<std::uint8_t> bytes_;
};
