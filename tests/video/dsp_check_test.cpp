// Every entry of the record of vector forms (video/dsp_table.h) at every level this processor
// has, held to the plain form on the same random inputs: the outputs must be equal bit for bit,
// and nothing outside the destination may be written (guard bytes before and after it and in
// the padding of its rows, whose pitch is odd where the entry takes one). Prints a line per
// entry and level, and the levels it could not run.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/video/dct_test_support.h"
#include "video/colour_tables.h"
#include "video/dct/colour_rows.h"
#include "video/dct/dct_toolkit.h"
#include "video/dsp_table.h"

namespace {

using Rng = std::mt19937;

// A destination of rows × rowBytes bytes, rows pitch bytes apart, inside a buffer whose other
// bytes (margins on both sides and row padding) hold guard.
struct Guarded {
    static constexpr std::ptrdiff_t margin = 96;
    std::ptrdiff_t rows, rowBytes, pitch;
    BYTE guard;
    std::vector<BYTE> bytes;

    Guarded(std::ptrdiff_t rowCount, std::ptrdiff_t rowLength, std::ptrdiff_t rowPitch, BYTE g)
        : rows(rowCount), rowBytes(rowLength), pitch(rowPitch), guard(g),
          bytes(static_cast<std::size_t>(2 * margin + rows * pitch), g) {}
    BYTE* origin() { return bytes.data() + margin; }
    LONG* longs() { return reinterpret_cast<LONG*>(origin()); }
    // Fills the destination with random bytes (the forms must not depend on it).
    void scramble(Rng& rng) {
        for (std::ptrdiff_t r = 0; r < rows; ++r)
            for (std::ptrdiff_t c = 0; c < rowBytes; ++c)
                origin()[r * pitch + c] = static_cast<BYTE>(rng());
    }
    bool guardsIntact() const {
        for (std::ptrdiff_t i = 0; i < static_cast<std::ptrdiff_t>(bytes.size()); ++i) {
            const std::ptrdiff_t at = i - margin;
            const bool inside = at >= 0 && at < rows * pitch && at % pitch < rowBytes;
            if (!inside && bytes[static_cast<std::size_t>(i)] != guard) return false;
        }
        return true;
    }
};

// Runs make(plainDestinations) with the plain form and make(formDestinations) with the form
// under test on identical guarded destinations; the failure, or "" when both agree.
std::string compare(std::vector<Guarded> plainDest,
                    const std::function<void(std::vector<Guarded>&, bool)>& call) {
    std::vector<Guarded> formDest = plainDest;
    call(plainDest, true);
    call(formDest, false);
    for (const Guarded& d : plainDest)
        if (!d.guardsIntact()) return "the plain form wrote outside its destination";
    for (std::size_t i = 0; i < formDest.size(); ++i) {
        if (!formDest[i].guardsIntact()) return "wrote outside its destination";
        if (formDest[i].bytes != plainDest[i].bytes) return "output differs from the plain form";
    }
    return "";
}

// A coefficient: often zero (for the shortcut lines), mostly small, some anywhere in 32 bits or
// next to its ends, where the integer steps wrap.
LONG randomCoefficient(Rng& rng) {
    switch (rng() % 8) {
    case 0:
    case 1:
    case 2:
        return 0;
    case 3:
        return static_cast<LONG>(rng());
    case 4:
        return rng() % 2 ? INT_MAX - static_cast<LONG>(rng() % 4)
                         : INT_MIN + static_cast<LONG>(rng() % 4);
    default:
        return static_cast<LONG>(rng() % 4001) - 2000;
    }
}

void randomBlock(Rng& rng, LONG* coeff) {
    const int kind = static_cast<int>(rng() % 4); // 0: DC only, 1: even lines only, else any
    for (int i = 0; i < dctBlockSize; ++i)
        coeff[i] = (kind == 0 && i != 0) || (kind == 1 && (i & 1)) ? 0 : randomCoefficient(rng);
}

// A colour sample: mostly near the ranges the tables cover, some anywhere in 32 bits.
LONG randomSample(Rng& rng) {
    switch (rng() % 4) {
    case 0:
        return static_cast<LONG>(rng());
    case 1:
        return (static_cast<LONG>(rng() % 512) - 256) * 65536 + static_cast<LONG>(rng() % 65536);
    default:
        return static_cast<LONG>(rng() % 700) - 300;
    }
}

// Random planes; the halves set in sameRows have flat blocks (as the decoder says only then),
// which makes the chroma flat too.
MacroblockPlanes randomPlanes(Rng& rng, unsigned sameRows) {
    MacroblockPlanes p;
    for (LONG& s : p.luma) s = randomSample(rng);
    for (int j = 0; j < 64; ++j) p.cb[j] = randomSample(rng), p.cr[j] = randomSample(rng);
    if (sameRows != 0) {
        for (int j = 0; j < 64; ++j) p.cb[j] = p.cb[0], p.cr[j] = p.cr[0];
        for (int h = 0; h < 2; ++h)
            if (sameRows >> h & 1u)
                for (int r = 0; r < 8; ++r)
                    for (int c = 0; c < 16; ++c)
                        p.luma[16 * (8 * h + r) + c] = p.luma[128 * h + (c < 8 ? 0 : 8)];
    }
    return p;
}

// A pitch of at least rowBytes, odd half the time.
std::ptrdiff_t randomPitch(Rng& rng, std::ptrdiff_t rowBytes) {
    return rowBytes + static_cast<std::ptrdiff_t>(rng() % 12);
}

// The colour tables the conversions read, and the lane tables built from them.
struct Colours {
    GammaLaneTables lanes;
    ByteLaneTables bytes;
    bool bytesUsable;
    Type3Colour type3;
    void build(Rng& rng) {
        const PixelFormat formats[] = {dcttest::rgb555, dcttest::rgb565, dcttest::xrgb8888};
        const LONG gammas[] = {40, 100, 250};
        buildColourTables(formats[rng() % 3], gammas[rng() % 3]);
        buildGammaLaneTables(lanes);
        buildByteLaneTables(lanes, bytes);
        bytesUsable = byteFormsUsable();
        buildType3Colour(type3);
    }
};

// One entry: its name, the form of a record, and one random trial of form against plain.
struct Entry {
    const char* name;
    std::uintptr_t (*form)(const VideoDsp&);
    std::string (*trial)(const VideoDsp& dsp, const VideoDsp& plain, Colours& colours, Rng& rng);
};

#define FORM(member) [](const VideoDsp& d) { return reinterpret_cast<std::uintptr_t>(d.member); }

std::string idctTrial(const VideoDsp& dsp, const VideoDsp& plain, Colours&, Rng& rng) {
    LONG coeff[dctBlockSize];
    randomBlock(rng, coeff);
    const int stride = 8 + static_cast<int>(rng() % 9), shift = static_cast<int>(rng() % 32);
    Guarded dest(8, 32, stride * 4, static_cast<BYTE>(rng()));
    dest.scramble(rng);
    return compare({dest}, [&](std::vector<Guarded>& d, bool isPlain) {
        (isPlain ? plain : dsp).idctBlock(coeff, d[0].longs(), stride, shift);
    });
}

std::string idctPairTrial(const VideoDsp& dsp, const VideoDsp& plain, Colours&, Rng& rng) {
    LONG coeff[2][dctBlockSize];
    randomBlock(rng, coeff[0]);
    randomBlock(rng, coeff[1]);
    const int strideA = 8 + static_cast<int>(rng() % 9), strideB = 8 + static_cast<int>(rng() % 9);
    const int shift = static_cast<int>(rng() % 32);
    const BYTE g = static_cast<BYTE>(rng());
    return compare({Guarded(8, 32, strideA * 4, g), Guarded(8, 32, strideB * 4, g)},
                   [&](std::vector<Guarded>& d, bool isPlain) {
                       (isPlain ? plain : dsp)
                           .idctBlockPair(coeff[0], coeff[1], d[0].longs(), d[1].longs(), strideA,
                                          strideB, shift);
                   });
}

template <PackedMacroblockForm VideoDsp::*member, int pixelBytes>
std::string type3Trial(const VideoDsp& dsp, const VideoDsp& plain, Colours& colours, Rng& rng) {
    const MacroblockPlanes planes = randomPlanes(rng, 0);
    const std::ptrdiff_t pitch = randomPitch(rng, 16 * pixelBytes);
    return compare({Guarded(16, 16 * pixelBytes, pitch, static_cast<BYTE>(rng()))},
                   [&](std::vector<Guarded>& d, bool isPlain) {
                       ((isPlain ? plain : dsp).*member)(colours.type3, planes, d[0].origin(),
                                                         static_cast<LONG>(pitch));
                   });
}

// The byte-permute forms (byteForm) are held to the plain gather-free form of their size.
template <RgbMacroblockForm VideoDsp::*member, RgbMacroblockForm VideoDsp::*plainMember,
          int pixelBytes, bool byteForm>
std::string type4RgbTrial(const VideoDsp& dsp, const VideoDsp& plain, Colours& colours, Rng& rng) {
    if (byteForm && !colours.bytesUsable) return "";
    const unsigned sameRows = rng() % 2 ? 0u : static_cast<unsigned>(rng() % 4);
    const MacroblockPlanes planes = randomPlanes(rng, sameRows);
    const std::ptrdiff_t pitch = randomPitch(rng, 16 * pixelBytes);
    return compare({Guarded(16, 16 * pixelBytes, pitch, static_cast<BYTE>(rng()))},
                   [&](std::vector<Guarded>& d, bool isPlain) {
                       const RgbMacroblockForm form = isPlain ? plain.*plainMember : dsp.*member;
                       form(colours.lanes, &colours.bytes, planes, sameRows, d[0].origin(),
                            static_cast<LONG>(pitch));
                   });
}

std::string yuy2Trial(const VideoDsp& dsp, const VideoDsp& plain, Colours&, Rng& rng) {
    const unsigned sameRows = rng() % 2 ? 0u : static_cast<unsigned>(rng() % 4);
    const MacroblockPlanes planes = randomPlanes(rng, sameRows);
    const std::ptrdiff_t pitch = randomPitch(rng, 32);
    return compare({Guarded(16, 32, pitch, static_cast<BYTE>(rng()))},
                   [&](std::vector<Guarded>& d, bool isPlain) {
                       (isPlain ? plain : dsp)
                           .type4Yuy2(planes, sameRows, d[0].origin(), static_cast<LONG>(pitch));
                   });
}

// A DOR slot: a picture value with a fraction, near the 0..127 range or anywhere.
LONG randomSlot(Rng& rng) {
    return rng() % 4 == 0
               ? static_cast<LONG>(rng())
               : (static_cast<LONG>(rng() % 260) - 130) * 65536 + static_cast<LONG>(rng() % 65536);
}

std::string dorWriterTrial(const VideoDsp& dsp, const VideoDsp& plain, Colours&, Rng& rng) {
    LONG luma[256], u[64], v[64];
    for (LONG& s : luma) s = randomSlot(rng);
    for (int j = 0; j < 64; ++j) u[j] = randomSlot(rng), v[j] = randomSlot(rng);
    const std::ptrdiff_t stride = randomPitch(rng, 32);
    return compare({Guarded(16, 32, stride, static_cast<BYTE>(rng()))}, [&](std::vector<Guarded>& d,
                                                                            bool isPlain) {
        (isPlain ? plain : dsp).writeDorMacroblock(luma, u, v, d[0].origin(), stride);
    });
}

std::string dorPredictTrial(const VideoDsp& dsp, const VideoDsp& plain, Colours&, Rng& rng) {
    // The source: 16 rows of 18 pixels (9 words) inside a picture of random bytes.
    const std::ptrdiff_t sourceStride = 4 * (9 + static_cast<std::ptrdiff_t>(rng() % 4));
    std::vector<BYTE> source(static_cast<std::size_t>(16 * sourceStride));
    for (BYTE& b : source) b = static_cast<BYTE>(rng() % 3 ? rng() % 128 : rng());
    const bool oddX = rng() % 2;
    LONG offsets[6];
    for (LONG& o : offsets) o = static_cast<LONG>(rng() % 129) - 64;
    const std::ptrdiff_t stride = randomPitch(rng, 32);
    return compare({Guarded(16, 32, stride, static_cast<BYTE>(rng()))}, [&](std::vector<Guarded>& d,
                                                                            bool isPlain) {
        (isPlain ? plain : dsp)
            .predictDorInside(source.data(), sourceStride, oddX, offsets, d[0].origin(), stride);
    });
}

template <DorRowForm VideoDsp::*member, DorRowForm VideoDsp::*plainMember, int pixelBytes,
          bool byteForm>
std::string dorRowTrial(const VideoDsp& dsp, const VideoDsp& plain, Colours& colours, Rng& rng) {
    if (byteForm && !colours.bytesUsable) return "";
    // Wide enough for the 128-pixel steps of the byte-permute form; edges odd and even.
    constexpr LONG width = 300;
    std::vector<BYTE> words(width * 2);
    for (BYTE& b : words) b = static_cast<BYTE>(rng() % 3 ? rng() % 128 : rng());
    const LONG left = static_cast<LONG>(rng() % 40);
    const LONG right = byteForm ? left + dorByteRowMin + static_cast<LONG>(rng() % (width - 104))
                                : left + 1 + static_cast<LONG>(rng() % (width - 40));
    Guarded dest(1, (right - left) * pixelBytes, (right - left) * pixelBytes,
                 static_cast<BYTE>(rng()));
    return compare({dest}, [&](std::vector<Guarded>& d, bool isPlain) {
        const DorRowForm form = isPlain ? plain.*plainMember : dsp.*member;
        // out is the row's first pixel: column left lands on the destination's origin.
        form(colours.lanes, &colours.bytes, words.data(), d[0].origin() - left * pixelBytes, left,
             right);
    });
}

const Entry entries[] = {
    {"idctBlock", FORM(idctBlock), idctTrial},
    {"idctBlockPair", FORM(idctBlockPair), idctPairTrial},
    {"type3Packed16", FORM(type3Packed16), type3Trial<&VideoDsp::type3Packed16, 2>},
    {"type3Packed32", FORM(type3Packed32), type3Trial<&VideoDsp::type3Packed32, 4>},
    {"type4Rgb16", FORM(type4Rgb16),
     type4RgbTrial<&VideoDsp::type4Rgb16, &VideoDsp::type4Rgb16, 2, false>},
    {"type4Rgb32", FORM(type4Rgb32),
     type4RgbTrial<&VideoDsp::type4Rgb32, &VideoDsp::type4Rgb32, 4, false>},
    {"type4Rgb16Bytes", FORM(type4Rgb16Bytes),
     type4RgbTrial<&VideoDsp::type4Rgb16Bytes, &VideoDsp::type4Rgb16, 2, true>},
    {"type4Rgb32Bytes", FORM(type4Rgb32Bytes),
     type4RgbTrial<&VideoDsp::type4Rgb32Bytes, &VideoDsp::type4Rgb32, 4, true>},
    {"type4Yuy2", FORM(type4Yuy2), yuy2Trial},
    {"writeDorMacroblock", FORM(writeDorMacroblock), dorWriterTrial},
    {"predictDorInside", FORM(predictDorInside), dorPredictTrial},
    {"dorRow16", FORM(dorRow16), dorRowTrial<&VideoDsp::dorRow16, &VideoDsp::dorRow16, 2, false>},
    {"dorRow32", FORM(dorRow32), dorRowTrial<&VideoDsp::dorRow32, &VideoDsp::dorRow32, 4, false>},
    {"dorRow16Bytes", FORM(dorRow16Bytes),
     dorRowTrial<&VideoDsp::dorRow16Bytes, &VideoDsp::dorRow16, 2, true>},
    {"dorRow32Bytes", FORM(dorRow32Bytes),
     dorRowTrial<&VideoDsp::dorRow32Bytes, &VideoDsp::dorRow32, 4, true>},
};

const char* levelName(SimdLevel level) {
    switch (level) {
    case SimdLevel::none:
        return "c";
    case SimdLevel::avx2:
        return "avx2";
    case SimdLevel::avx512:
        return "avx512";
    case SimdLevel::avx512vbmi:
        return "vbmi";
    }
    return "?";
}

TEST(DspCheck, EveryFormOfEveryLevelGivesThePlainOutputAndStaysInItsDestination) {
    constexpr int trials = 300;
    VideoDsp plain;
    initVideoDsp(plain, SimdLevel::none);
    std::vector<VideoDsp> lower; // the records of the levels already walked
    for (SimdLevel level :
         {SimdLevel::none, SimdLevel::avx2, SimdLevel::avx512, SimdLevel::avx512vbmi}) {
        if (level > simdAvailable()) {
            std::printf("level %s: skipped, %s\n", levelName(level),
                        QZ_X86_SIMD ? "this processor lacks it" : "no vector forms in this build");
            continue;
        }
        VideoDsp dsp;
        initVideoDsp(dsp, level);
        EXPECT_EQ(dsp.level, level);
        // The record setSimdLevel switches to is this one.
        setSimdLevel(level);
        EXPECT_EQ(simdLevel(), level);
        for (const Entry& entry : entries) {
            const std::uintptr_t form = entry.form(dsp);
            EXPECT_EQ(entry.form(videoDsp()), form) << entry.name << " " << levelName(level);
            std::string verdict;
            if (form == 0) {
                verdict = "none";
            } else {
                Rng rng(static_cast<unsigned>(std::hash<std::string>{}(entry.name)));
                Colours colours;
                for (int t = 0; t < trials && verdict.empty(); ++t) {
                    if (t % 50 == 0) colours.build(rng);
                    verdict = entry.trial(dsp, plain, colours, rng);
                    if (!verdict.empty()) verdict += " (trial " + std::to_string(t) + ")";
                }
                if (verdict.empty()) {
                    verdict = "ok";
                    for (const VideoDsp& l : lower)
                        if (entry.form(l) == form) {
                            verdict += std::string(" (the ") + levelName(l.level) + " form)";
                            break;
                        }
                } else
                    ADD_FAILURE() << entry.name << " " << levelName(level) << ": " << verdict;
            }
            std::printf("%s %s: %s\n", entry.name, levelName(level), verdict.c_str());
        }
        lower.push_back(dsp);
    }
    setSimdLevel(simdAvailable());
}

} // namespace
