#include "video/dct/colour_rows.h"

#include "video/colour_tables.h"

#include <algorithm>
#include <bit>
#include <type_traits>

void buildGammaLaneTables(GammaLaneTables& lanes) {
    for (std::uint32_t field = 0; field < 512; ++field) {
        lanes.red[field] =
            static_cast<std::uint32_t>(gammaLaneLookup(redGamma, redGammaSize, field));
        lanes.green[field] =
            static_cast<std::uint32_t>(gammaLaneLookup(greenGamma, greenGammaSize, field));
        lanes.blue[field] =
            static_cast<std::uint32_t>(gammaLaneLookup(blueGamma, blueGammaSize, field));
    }
}

namespace {

// The lanes of a component sum, red, green and blue: each a 9-bit field at its shift; the bits
// between them (9-10 and 20-22) take the carries of the lanes below.
constexpr int laneShifts[3] = {23, 11, 0};
constexpr std::uint32_t laneGapBits = 0x00700600;

std::uint32_t entryOf(const LONG* table, LONG sample) {
    return static_cast<std::uint32_t>(table[256 + sample]);
}

int laneField(std::uint32_t entry, int lane) {
    return static_cast<int>((entry >> laneShifts[lane]) & 511);
}

// A field read as a signed 9-bit number: any value congruent to it modulo 512 does, as the
// lookups take the sum's field modulo 512.
int signedField(std::uint32_t entry, int lane) {
    const int f = laneField(entry, lane);
    return f >= 256 ? f - 512 : f;
}

struct FieldSpan {
    int low = 512;
    int high = -512;
};

// The span of a lane's signed fields over the samples 0..127 of a chroma component table.
FieldSpan chromaSpan(const LONG* table, int lane) {
    FieldSpan span;
    for (LONG s = 0; s < 128; ++s) {
        const int f = signedField(entryOf(table, s), lane);
        span.low = f < span.low ? f : span.low;
        span.high = f > span.high ? f : span.high;
    }
    return span;
}

// The calling thread's lane tables and the colour tables' generation they were made from. Before
// the first build of the colour tables (generation 0) they are made at every call.
struct LaneCache {
    std::uint32_t gammaGeneration = 0;
    std::uint32_t bytesGeneration = 0;
    std::uint32_t type3Generation = 0;
    bool bytesUsable = false;
    GammaLaneTables gamma;
    ByteLaneTables bytes;
    Type3Colour type3;
};

// A thread-local destructor run at thread exit crashes MinGW builds under Wine.
static_assert(std::is_trivially_destructible_v<LaneCache>);

LaneCache& laneCache() {
    thread_local LaneCache cache;
    return cache;
}

// The planes of lane l through a window (see ByteLaneTables), if they allow one.
bool buildLaneWindow(ByteLaneTables& bytes, int l) {
    auto zeroAt = [&](int i) {
        for (int j = 0; j < 4; ++j)
            if (bytes.plane[l][j][i] != 0) return false;
        return true;
    };
    if (!zeroAt(0)) return false;
    int start = 0;
    while (start + 1 < byteLaneSpan && zeroAt(start + 1)) ++start;
    const int top = start + byteWindowSpan; // the window's last sum
    for (int j = 0; j < 4; ++j) {
        for (int i = top + 1; i < byteLaneSpan; ++i)
            if (bytes.plane[l][j][i] != bytes.plane[l][j][top]) return false;
        for (int k = 0; k < byteWindowSpan; ++k)
            bytes.window[l][j][k] = bytes.plane[l][j][std::min(start + 1 + k, byteLaneSpan - 1)];
    }
    // start + 1 taken off as a from the U part and the rest from the V part, each then within
    // a signed byte.
    int spans[2] = {0, 0};
    for (int c = 0; c < 2; ++c)
        for (int s = 0; s < 128; ++s) spans[c] = std::max<int>(spans[c], bytes.chroma[c][l][s]);
    for (int a = -128; a <= 255; ++a) {
        const int b = start + 1 - a;
        if (a < spans[0] - 127 || a > 128 || b < spans[1] - 127 || b > 128) continue;
        for (int s = 0; s < 128; ++s) {
            bytes.windowChroma[0][l][s] = static_cast<std::int8_t>(bytes.chroma[0][l][s] - a);
            bytes.windowChroma[1][l][s] = static_cast<std::int8_t>(bytes.chroma[1][l][s] - b);
        }
        return true;
    }
    return false;
}

// Lane l's part of half h of the entry for window index k: zero for a negative k.
int halfPart(const ByteLaneTables& bytes, int l, int h, int k) {
    if (k < 0) return 0;
    return bytes.window[l][2 * h][k] | bytes.window[l][2 * h + 1][k] << 8;
}

int rampPart(const ByteRamp& r, int k) {
    const int sum = std::clamp(k + r.add, -128, 127);
    return std::min(std::max(sum, 0) >> r.shift, int{r.top}) << r.position;
}

// The ramp that gives lane l's part of half h for every window index, if there is one: its top
// and position from the part at the largest index, its add from where the part first steps up.
bool findRamp(const ByteLaneTables& bytes, int l, int h, ByteRamp& ramp) {
    const int last = halfPart(bytes, l, h, byteWindowSpan - 1);
    const int position = last == 0 ? 0 : std::countr_zero(static_cast<unsigned>(last));
    if ((last >> position) > 255) return false;
    const int first = halfPart(bytes, l, h, 0);
    int step = 1;
    while (step < byteWindowSpan && halfPart(bytes, l, h, step) == first) ++step;
    for (int shift = 0; shift < 8; ++shift) {
        const int add = (((first >> position) + 1) << shift) - step;
        if (add < -128 || add > 127) continue;
        ramp = {static_cast<std::int8_t>(add), static_cast<std::uint8_t>(shift),
                static_cast<std::uint8_t>(last >> position), static_cast<std::uint8_t>(position)};
        bool same = true;
        for (int k = -128; k < byteWindowSpan && same; ++k)
            same = rampPart(ramp, k) == halfPart(bytes, l, h, k);
        if (same) return true;
    }
    return false;
}

// The luma on the 8-bit scale of type-3 table entry n.
std::uint32_t type3LumaOf(int n) {
    return static_cast<std::uint32_t>((2 * n + 1) ^ 128);
}

// The low bytes of a type-3 luma entry as form gives them (see Type3Luma).
std::uint32_t type3LumaEntry(const Type3Luma& form, int n) {
    const std::uint32_t y = type3LumaOf(n);
    if (form.pixelBytes == 4) return form.base + y * 0x010101u;
    std::uint32_t sum = form.base;
    for (const ByteRamp& r : form.ramp)
        sum += std::min<std::uint32_t>((y + static_cast<std::uint32_t>(r.add)) >> r.shift, r.top)
               << r.position;
    return sum & 0xFFFF;
}

// A 16-bit form whose channels are widths bits wide at positions, each rounded to its width as
// the packed tables round the low pixel of a pair.
Type3Luma sixteenBitLuma(const int (&widths)[3], const int (&positions)[3], std::uint32_t base) {
    Type3Luma form{2, base, {}};
    for (int c = 0; c < 3; ++c) {
        const int shift = 8 - widths[c];
        form.ramp[c] = {static_cast<std::int8_t>(1 << (shift - 1)),
                        static_cast<std::uint8_t>(shift),
                        static_cast<std::uint8_t>((1 << widths[c]) - 1),
                        static_cast<std::uint8_t>(positions[c])};
    }
    return form;
}

} // namespace

Type3Luma findType3Luma() {
    const Type3Luma candidates[] = {
        {4, 0xFF000000u, {}},
        sixteenBitLuma({5, 6, 5}, {11, 5, 0}, 0),
        sixteenBitLuma({5, 5, 5}, {10, 5, 0}, 0x8000),
    };
    for (const Type3Luma& form : candidates) {
        const std::uint32_t mask = form.pixelBytes == 4 ? 0xFFFFFFFFu : 0xFFFFu;
        bool same = true;
        for (int n = 0; n < yTableSize && same; ++n)
            same = (static_cast<std::uint32_t>(yTable[n]) & mask) == type3LumaEntry(form, n);
        if (same) return form;
    }
    return {};
}

void buildType3Colour(Type3Colour& colour) {
    colour.luma = findType3Luma();
    for (int u = 0; u < uTableSize; ++u)
        for (int v = 0; v < vTableSize; ++v)
            colour.chroma[std::size_t(u) * vTableSize + v] =
                static_cast<std::uint32_t>(uTable[u]) + static_cast<std::uint32_t>(vTable[v]);
}

namespace {

// Runs make when the colour tables changed since made was set (always before their first
// build), and sets made to their generation.
template <class Make> void refreshFromColourTables(std::uint32_t& made, Make make) {
    const std::uint32_t generation = colourTablesGeneration();
    if (generation != 0 && made == generation) return;
    make();
    made = generation;
}

} // namespace

const Type3Colour& currentType3Colour() {
    LaneCache& cache = laneCache();
    refreshFromColourTables(cache.type3Generation, [&] { buildType3Colour(cache.type3); });
    return cache.type3;
}

const GammaLaneTables& currentGammaLanes() {
    LaneCache& cache = laneCache();
    refreshFromColourTables(cache.gammaGeneration, [&] { buildGammaLaneTables(cache.gamma); });
    return cache.gamma;
}

const ByteLaneTables* currentByteLanes() {
    LaneCache& cache = laneCache();
    refreshFromColourTables(cache.bytesGeneration, [&] {
        const GammaLaneTables& gamma = currentGammaLanes();
        cache.bytesUsable = byteFormsUsable();
        if (cache.bytesUsable) buildByteLaneTables(gamma, cache.bytes);
    });
    return cache.bytesUsable ? &cache.bytes : nullptr;
}

void buildByteLaneTables(const GammaLaneTables& lanes, ByteLaneTables& bytes) {
    const std::uint32_t* tables[3] = {lanes.red, lanes.green, lanes.blue};
    for (unsigned& l : bytes.lanesOfByte) l = 0;
    for (int l = 0; l < 3; ++l) {
        const FieldSpan u = chromaSpan(uComponent, l), v = chromaSpan(vComponent, l);
        // Field of the sum = the luma sample + origin + both chroma parts, modulo 512.
        const int origin = laneField(entryOf(yComponent, 0), l) + u.low + v.low;
        for (LONG s = 0; s < 128; ++s) {
            bytes.chroma[0][l][s] =
                static_cast<std::uint8_t>(signedField(entryOf(uComponent, s), l) - u.low);
            bytes.chroma[1][l][s] =
                static_cast<std::uint8_t>(signedField(entryOf(vComponent, s), l) - v.low);
        }
        for (int j = 0; j < 4; ++j) {
            std::uint8_t any = 0;
            for (int i = 0; i < byteLaneSpan; ++i) {
                const auto b = static_cast<std::uint8_t>(tables[l][(i + origin) & 511] >> (8 * j));
                bytes.plane[l][j][i] = b;
                any |= b;
            }
            if (any != 0) bytes.lanesOfByte[j] |= 1u << l;
        }
    }
    bytes.windowed = true;
    for (int l = 0; l < 3; ++l) bytes.windowed = buildLaneWindow(bytes, l) && bytes.windowed;
    for (int c = 0; c < 2; ++c) {
        bytes.chromaVaries[c] = 0;
        for (int l = 0; l < 3; ++l)
            for (int s = 1; s < 128; ++s)
                if (bytes.windowChroma[c][l][s] != bytes.windowChroma[c][l][0])
                    bytes.chromaVaries[c] |= 1u << l;
    }
    bytes.oddLines = bytes.windowed;
    for (int j = 0; j < 4; ++j) {
        const unsigned lanes = bytes.lanesOfByte[j];
        if ((lanes & (lanes - 1)) != 0) bytes.oddLines = false; // more than one lane
        for (int l = 0; l < 3; ++l)
            for (int k = 0; k < byteWindowSpan && ((lanes >> l) & 1); ++k)
                if (bytes.window[l][j][k] != 2 * k + 1) bytes.oddLines = false;
    }
    bytes.ramps = bytes.windowed;
    for (int h = 0; h < 2; ++h)
        for (int l = 0; l < 3 && bytes.ramps; ++l)
            bytes.ramps = findRamp(bytes, l, h, bytes.ramp[h][l]);
}

bool byteFormsUsable() {
    const LONG* tables[3] = {yComponent, uComponent, vComponent};
    for (const LONG* table : tables) {
        // Every sample the tables accept gives the entry of the sample limited to 0..127.
        for (LONG s = clampSampleMin; s <= clampSampleMax; ++s) {
            const LONG limited = s < 0 ? 0 : (s > 127 ? 127 : s);
            if (entryOf(table, s) != entryOf(table, limited)) return false;
        }
        // No carry bits in an entry: a sum of three entries then keeps each lane's carries
        // below the next lane, and each field of the sum is the sum of the fields modulo 512.
        for (LONG s = 0; s < 128; ++s)
            if ((entryOf(table, s) & laneGapBits) != 0) return false;
    }
    for (int l = 0; l < 3; ++l) {
        // The luma field is its sample plus a constant, modulo 512.
        const int base = laneField(entryOf(yComponent, 0), l);
        for (LONG s = 0; s < 128; ++s)
            if (laneField(entryOf(yComponent, s), l) != ((base + s) & 511)) return false;
        // Both chroma parts fit a byte together, and with the sample below byteLaneSpan.
        const FieldSpan u = chromaSpan(uComponent, l), v = chromaSpan(vComponent, l);
        if ((u.high - u.low) + (v.high - v.low) > 255) return false;
    }
    return true;
}
