// Screen recording for the end-to-end tests. When the environment variable QZ_SCREEN_DUMP names
// a folder, every present of the screen device is written there as a binary PPM (P6, 8-bit RGB)
// named "<present index, 6 digits>-<movie frame tag or none>.ppm": the index gives the order of
// the presents and the tag the movie frame the play loop noted before them. Palette changes,
// which recompose the screen without counting a present, are written too: they change what the
// screen shows. Files are written by the presenting thread before it goes on, so a recording
// never depends on timing.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/frame_trace.h"
#include "platform/standin/ddraw_internal.h"

namespace qzplat {

namespace {

std::atomic<LONG> frameTag{-1};

} // namespace

void noteMovieFrame(LONG sequence) {
    frameTag.store(sequence, std::memory_order_relaxed);
}

LONG notedMovieFrame() {
    return frameTag.load(std::memory_order_relaxed);
}

} // namespace qzplat

namespace qzplat::detail {

namespace {

// The folder named by QZ_SCREEN_DUMP, read once; empty when screens are not recorded.
const std::string& dumpFolder() {
    static const std::string folder = [] {
        const char* value = std::getenv("QZ_SCREEN_DUMP");
        return std::string(value != nullptr ? value : "");
    }();
    return folder;
}

std::atomic<long> dumpIndex{0};

} // namespace

void dumpScreen(const ScreenImage& screen) {
    const std::string& folder = dumpFolder();
    if (folder.empty()) return;
    const long index = dumpIndex.fetch_add(1, std::memory_order_relaxed);
    const LONG tag = notedMovieFrame();
    char name[64];
    if (tag < 0)
        std::snprintf(name, sizeof(name), "/%06ld-none.ppm", index);
    else
        std::snprintf(name, sizeof(name), "/%06ld-%ld.ppm", index, long(tag));
    std::FILE* out = std::fopen((folder + name).c_str(), "wb");
    if (out == nullptr) return;
    std::fprintf(out, "P6\n%lu %lu\n255\n", static_cast<unsigned long>(screen.width),
                 static_cast<unsigned long>(screen.height));
    std::vector<unsigned char> row(std::size_t(screen.width) * 3);
    for (DWORD y = 0; y < screen.height; ++y) {
        for (DWORD x = 0; x < screen.width; ++x) {
            const std::uint32_t pixel = screen.at(x, y);
            row[x * 3] = static_cast<unsigned char>(pixel >> 16);
            row[x * 3 + 1] = static_cast<unsigned char>(pixel >> 8);
            row[x * 3 + 2] = static_cast<unsigned char>(pixel);
        }
        std::fwrite(row.data(), 1, row.size(), out);
    }
    std::fclose(out);
}

} // namespace qzplat::detail
