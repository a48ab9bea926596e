#include "video/dct/colour_rows.h"

#include "display/colour_tables.h"

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
