#include "fuzz/guarded_memory.h"

#include <sanitizer/asan_interface.h>

#include <cstring>
#include <utility>

namespace {

// The storage of the last memory destroyed, kept for the next: a fresh megabyte for every input
// cost a tenth of the decoder targets' time in page faults. Its bytes past the size in use are
// poisoned, so AddressSanitizer still reports any access beyond the guards.
std::vector<std::uint8_t> spareStorage;

void poisonTail(const std::vector<std::uint8_t>& bytes) {
    ASAN_POISON_MEMORY_REGION(bytes.data() + bytes.size(), bytes.capacity() - bytes.size());
}

void unpoisonAll(const std::vector<std::uint8_t>& bytes) {
    ASAN_UNPOISON_MEMORY_REGION(bytes.data(), bytes.capacity());
}

} // namespace

GuardedMemory::GuardedMemory(std::size_t rowBytes, std::size_t rows, std::size_t pitch)
    : rowBytes_(rowBytes), rows_(rows), pitch_(pitch), bytes_(std::move(spareStorage)) {
    spareStorage = {};
    unpoisonAll(bytes_);
    bytes_.assign(2 * guardBytes + rows * pitch, guardValue);
    poisonTail(bytes_);
    // The picture bytes start zeroed, as a fresh picture; the padding keeps the guard value.
    for (std::size_t r = 0; r < rows_; ++r) std::memset(pixels() + r * pitch_, 0, rowBytes_);
}

GuardedMemory::~GuardedMemory() {
    if (bytes_.capacity() > spareStorage.capacity()) {
        unpoisonAll(bytes_);
        spareStorage = std::move(bytes_);
    }
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
