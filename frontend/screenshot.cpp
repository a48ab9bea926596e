// The s key: the picture now shown, decoded again from the file as the movie defines it (its
// own size, full colour, gamma 100) and saved as a PNG beside the other files of the folder.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#if QZ_HAVE_PNG
#include <png.h>
#endif

#include "api/shared.h"
#include "engine/reader.h"
#include "format/chunk_walker.h"
#include "format/movie_index.h"
#include "frontend/controls.h"
#include "frontend/file_source.h"
#include "video/frame_decoder.h"

namespace {

constexpr DWORD holdPollMs = 5;
constexpr int holdPolls = 400; // two seconds for the play loop to reach its pause

std::string moviePath;
bool verbose = false;

#if QZ_HAVE_PNG
// Reads the payload of the frame in slot into payload; false when the file cannot be read.
bool readFrame(FileSource& source, const MovieIndex& index, std::size_t slot,
               std::vector<BYTE>& payload) {
    const ChunkSpan span = walkChunkAt(source, index.frames[slot].offset);
    payload.resize(span.payloadBytes);
    source.read(span.offset + chunkHeaderBytes, payload.size(), payload.data());
    return !source.failed();
}

// The size of the movie's first picture: the first frame whose header gives one.
std::optional<PictureSize> firstPictureSize(FileSource& source, const MovieIndex& index) {
    std::vector<BYTE> payload;
    for (std::size_t slot = 0; slot < index.frames.size(); ++slot) {
        if (!readFrame(source, index, slot, payload)) return std::nullopt;
        if (auto size = videoPictureSize(index.frames[slot].type, payload.data(), payload.size()))
            return size;
    }
    return std::nullopt;
}

// Decodes frame slot frame (from 1, as the player numbers them) into memory, starting from the
// nearest frame at or before it that rebuilds the picture alone: a screenshot late in a long
// movie holds the play in a pause only for the frames since then. False when the file cannot
// be read or has fewer frames.
bool decodeShownFrame(FileSource& source, const MovieIndex& index, LONG frame,
                      const PictureMemory& memory) {
    if (frame < 1 || static_cast<std::size_t>(frame) > index.frames.size()) return false;
    VideoDecoder decoder(FrameFormat::xrgb8888, 100);
    std::vector<BYTE> payload;
    const std::size_t last = static_cast<std::size_t>(frame) - 1;
    for (std::size_t slot = index.restartSlot(last); slot <= last; ++slot) {
        if (!readFrame(source, index, slot, payload)) return false;
        decoder.decode(index.frames[slot].type, payload.data(), payload.size(), memory);
    }
    return true;
}

constexpr int maxNameTries = 10000; // "-1" to "-9999" after a taken name

// Writes rgb to a file of that name that did not exist before; false when it did, or with why.
bool writeNewPng(const std::string& path, const std::vector<BYTE>& rgb, int width, int height,
                 bool& taken, std::string& why) {
    taken = false;
    std::FILE* file = std::fopen(path.c_str(), "wbx");
    if (file == nullptr) {
        taken = errno == EEXIST;
        if (!taken) why = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    const bool written =
        png_image_write_to_stdio(&image, file, 0, rgb.data(), width * 3, nullptr) != 0;
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return true;
    why = "cannot write " + path +
          (written ? std::string(": ") + std::strerror(errno) : std::string(": ") + image.message);
    png_image_free(&image);
    std::remove(path.c_str());
    return false;
}
#endif

} // namespace

bool holdPause(PlayerConfig* movie, bool& resume) {
    resume = sharedLoad(movie->state) == statePlaying && playerPause(movie) == 1;
    int polls = 0;
    while (sharedLoad(movie->pauseHeld) == 0 && polls++ < holdPolls) Sleep(holdPollMs);
    return sharedLoad(movie->pauseHeld) != 0;
}

std::string saveScreenshot(const std::string& path, LONG frame, const std::string& folder,
                           std::string& why) {
#if !QZ_HAVE_PNG
    (void)path;
    (void)frame;
    (void)folder;
    why = "this build of playqz cannot save screenshots: it has no PNG library";
    return {};
#else
    FileSource source(path);
    if (!source.isOpen()) {
        why = "cannot open " + path;
        return {};
    }
    // Slots as the player's reader numbers them, which is how the shown frame is counted.
    const MovieIndex index = buildMovieIndex(source, static_cast<std::size_t>(maxUnusableRunBytes));
    // The picture keeps the movie's first size, as the exported frames do.
    const std::optional<PictureSize> size = firstPictureSize(source, index);
    if (!size || size->width <= 0 || size->height <= 0 || size->width > maxPictureSide ||
        size->height > maxPictureSide) {
        why = path + ": no picture to save";
        return {};
    }
    const int pixelBytes = framePixelBytes(FrameFormat::xrgb8888);
    const PictureSize padded{(size->width + 15) / 16 * 16, (size->height + 15) / 16 * 16};
    std::vector<BYTE> target(std::size_t(padded.width) * padded.height * pixelBytes, 0);
    const PictureMemory memory{target.data(), std::ptrdiff_t{padded.width} * pixelBytes,
                               padded.width, padded.height};
    if (!decodeShownFrame(source, index, frame, memory)) {
        why = "cannot read frame " + std::to_string(frame) + " of " + path;
        return {};
    }
    // Pixels are bytes B, G, R, x.
    std::vector<BYTE> rgb(std::size_t(size->width) * size->height * 3);
    for (int y = 0; y < size->height; ++y) {
        const BYTE* row = target.data() + memory.pitch * y;
        BYTE* out = rgb.data() + std::size_t(y) * size->width * 3;
        for (int x = 0; x < size->width; ++x) {
            out[3 * x] = row[4 * x + 2];
            out[3 * x + 1] = row[4 * x + 1];
            out[3 * x + 2] = row[4 * x];
        }
    }
    const std::string stem =
        (std::filesystem::path(folder) / (movieName(path) + "-" + std::to_string(frame))).string();
    for (int n = 0; n < maxNameTries; ++n) {
        const std::string name = stem + (n == 0 ? "" : "-" + std::to_string(n)) + ".png";
        bool taken = false;
        if (writeNewPng(name, rgb, size->width, size->height, taken, why)) return name;
        if (!taken) return {};
    }
    why = "cannot save " + stem + ".png: every name up to -" + std::to_string(maxNameTries - 1) +
          " is taken";
    return {};
#endif
}

void beginScreenshots(const FrontendSettings& settings) {
    moviePath = settings.movieFile;
    verbose = settings.verbose;
}

void takeScreenshot(PlayerConfig* movie) {
    const LONG slots = currentMovieLength().slots;
    // The decoders' colour tables are shared with the play thread: it is held in a pause while
    // the picture is decoded again, and rebuilds them for the display when it resumes.
    bool resume = false;
    holdPause(movie, resume);
    const LONG shown = sharedLoad(movie->shownFrame);
    std::string why;
    std::string saved;
    if (sharedLoad(movie->pauseHeld) == 0)
        why = "the movie did not pause";
    else if (shown <= 0)
        why = "no picture is shown yet";
    else // A looping movie's numbers run on across laps.
        saved = saveScreenshot(moviePath, slots > 0 ? (shown - 1) % slots + 1 : shown, "", why);
    if (resume) playerPause(movie);
    if (!saved.empty()) {
        if (verbose) std::printf("saved %s\n", saved.c_str());
        std::fflush(stdout);
    } else {
        std::fprintf(stderr, "playqz: no screenshot: %s\n", why.c_str());
    }
}
