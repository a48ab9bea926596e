#include "video/dct/colour_rows.h"

#include "video/colour_tables.h"

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

void buildByteLaneTables(const GammaLaneTables& lanes, ByteLaneTables& bytes) {
    const std::uint32_t* tables[3] = {lanes.red, lanes.green, lanes.blue};
    for (unsigned& l : bytes.lanesOfByte) l = 0;
    for (int l = 0; l < 3; ++l) {
        for (int j = 0; j < 4; ++j) {
            std::uint8_t any = 0;
            for (int f = 0; f < 512; ++f) {
                const auto b = static_cast<std::uint8_t>(tables[l][f] >> (8 * j));
                bytes.plane[l][j][f] = b;
                any |= b;
            }
            if (any != 0) bytes.lanesOfByte[j] |= 1u << l;
        }
    }
    bytes.yBase = static_cast<std::uint32_t>(yComponent[256]);
    bytes.yStep = static_cast<std::uint32_t>(yComponent[257]) - bytes.yBase;
}

bool byteFormsUsable() {
    // Entry 256 + s for every sample the tables accept, against the line through s = 0 and 1
    // with the samples limited to 0..127.
    const auto entry = [](LONG s) { return static_cast<std::uint32_t>(yComponent[256 + s]); };
    const std::uint32_t step = entry(1) - entry(0);
    for (LONG s = clampSampleMin; s <= clampSampleMax; ++s) {
        const auto limited = static_cast<std::uint32_t>(s < 0 ? 0 : (s > 127 ? 127 : s));
        if (entry(s) != entry(0) + limited * step) return false;
    }
    return true;
}
