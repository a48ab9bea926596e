#include "fuzz/guarded_memory.h"

#include <cstring>

GuardedMemory::GuardedMemory(std::size_t rowBytes, std::size_t rows, std::size_t pitch)
    : rowBytes_(rowBytes), rows_(rows), pitch_(pitch),
      bytes_(2 * guardBytes + rows * pitch, guardValue) {
    // The picture bytes start zeroed, as a fresh picture; the padding keeps the guard value.
    for (std::size_t r = 0; r < rows_; ++r) std::memset(pixels() + r * pitch_, 0, rowBytes_);
}

void GuardedMemory::check() const {
    const std::uint8_t* p = bytes_.data();
    for (std::size_t i = 0; i < guardBytes; ++i)
        if (p[i] != guardValue) __builtin_trap();
    const std::uint8_t* rows = p + guardBytes;
    for (std::size_t r = 0; r < rows_; ++r)
        for (std::size_t i = rowBytes_; i < pitch_; ++i)
            if (rows[r * pitch_ + i] != guardValue) __builtin_trap();
    const std::uint8_t* after = rows + rows_ * pitch_;
    for (std::size_t i = 0; i < guardBytes; ++i)
        if (after[i] != guardValue) __builtin_trap();
}
