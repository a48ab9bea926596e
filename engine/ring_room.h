// Room checks for the reader's rings: a new payload or sample block must never touch ring
// memory that a queued table entry still holds, and never reuse a table slot still in use.
#pragma once

#include <cstddef>

#include "engine/context.h"
#include "api/shared.h"

// True when [a, a + aBytes) and [b, b + bBytes) share a byte.
inline bool rangesMeet(const BYTE* a, std::ptrdiff_t aBytes, const BYTE* b, std::ptrdiff_t bBytes) {
    return aBytes > 0 && bBytes > 0 && a < b + bBytes && b < a + aBytes;
}

// True when writing bytes at dest cannot be done yet. Entries are written into the ring in
// table order and freed oldest first (a consumer clears the pointer when done), so the held
// memory runs from the oldest queued entry to write, the end of the newest one, possibly
// wrapped around ringEnd. Only the pointers are looked at, never a consumer's other fields.
template <class Entry>
bool ringRoomTaken(const Entry (&table)[queueSlots], BYTE* Entry::*pointer, LONG writeIndex,
                   const BYTE* ringStart, const BYTE* ringEnd, const BYTE* write, const BYTE* dest,
                   LONG bytes) {
    const auto first = static_cast<unsigned long>(writeIndex);
    if (sharedLoad(table[first % queueSlots].*pointer) != nullptr) return true;
    const BYTE* oldest = nullptr;
    const BYTE* newest = nullptr;
    for (unsigned long k = 1; k < static_cast<unsigned long>(queueSlots); ++k) {
        const BYTE* held = sharedLoad(table[(first + k) % queueSlots].*pointer);
        if (held == nullptr) continue;
        if (oldest == nullptr) oldest = held;
        newest = held;
    }
    if (oldest == nullptr) return false;
    if (newest >= oldest) return rangesMeet(dest, bytes, oldest, write - oldest);
    return rangesMeet(dest, bytes, oldest, ringEnd - oldest) ||
           rangesMeet(dest, bytes, ringStart, write - ringStart);
}
