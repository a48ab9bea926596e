#include "format/byte_source.h"

#include <cstring>

void MemorySource::read(std::size_t offset, std::size_t count, BYTE* out) {
    if (count != 0) std::memcpy(out, bytes_ + offset, count);
}
