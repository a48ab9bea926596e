// The DOR bit reader as the frame decoder holds it in locals for a whole frame: a 64-bit buffer
// refilled two words at a time, then stored back into the state's 32-bit window form.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "video/video_state.h"
#include "video/dor/dor_macroblock.h"

struct DorBitReader {
    std::uint64_t bits;  // the next bits, the first in bit 63; zeros below the valid ones
    int count;           // valid bits in bits
    std::ptrdiff_t left; // bytes from the next load to the end of the data; at most 0 past it
    const BYTE* end;

    // Takes over the state's reader; store() hands it back.
    explicit DorBitReader(const VideoState* video);
    void store(VideoState* video);

    // Makes at least 32 bits valid. Bytes at or past the end of the data read as zeros.
    void refill() {
        if (count >= 32) return;
        const std::uint32_t pair = left >= 4 ? loadPair(end - left) : tailPair(end, left);
        bits |= std::uint64_t{pair} << (32 - count);
        left -= 4;
        count += 32;
    }
    // The next 32 bits; valid after refill().
    std::uint32_t peek() const { return static_cast<std::uint32_t>(bits >> 32); }
    // Drops n bits, at most count.
    void skip(int n) {
        bits <<= n;
        count -= n;
    }
    // One value of the small code (-16 to 16); refills first.
    LONG smallValue() {
        refill();
        if ((bits >> 63) == 0) {
            skip(1);
            return 0;
        }
        const auto code = static_cast<LONG>(bits >> 58) & 31;
        skip(6);
        return code & 16 ? (code & 15) - 16 : (code & 15) + 1;
    }

  private:
    // Two little-endian words, the first in the upper half.
    static std::uint32_t loadPair(const BYTE* p) {
        if constexpr (std::endian::native == std::endian::little) {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            return v << 16 | v >> 16;
        }
        return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 24 | p[2] |
               std::uint32_t{p[3]} << 8;
    }
    // The pair at the end of the data: the bytes before end, then zeros.
    static std::uint32_t tailPair(const BYTE* end, std::ptrdiff_t left);
    std::ptrdiff_t startLeft; // left and count when taken over, to tell whether bits were used
    int startCount;
};

// A macroblock as read from the stream.
struct DorMacroblockCodes {
    // Bit k: block k is copied from the reference with offset motion.offsets[k].
    unsigned predicted;
    DorMotion motion;
    int ends[6]; // intra block k: the scan position after its last coefficient
    // Intra block k's coefficients, dequantised; slots 1 to 63 must be zero before each read, and
    // a block writes only at the scan positions before its end.
    alignas(32) LONG coeff[6][64];
};

// Reads the macroblock's mode, vector, offsets and coefficients (motion: the frame may predict).
void readDorMacroblock(DorBitReader& bits, bool motion, const LONG* dequantScan,
                       DorMacroblockCodes& codes);

// The frame's dequantisation table in scan order.
void dorDequantInScanOrder(const LONG* dequant, LONG* dequantScan);
// Sets the 64 samples of the block at dest, rows stride slots apart, to value.
void fillDorBlock(LONG* dest, int stride, LONG value);
