#include "frontend/movie_check.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "engine/player.h"

std::string movieFileProblem(const std::string& path) {
    namespace fs = std::filesystem;
    const std::string prefix = "playqz: ";
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) {
        const std::error_code why =
            error ? error : std::make_error_code(std::errc::no_such_file_or_directory);
        return prefix + "cannot open " + path + ": " + why.message();
    }
    if (fs::is_directory(status)) return prefix + path + ": a folder, not a movie file";
    // Devices and pipes may never end (/dev/zero), or end before they begin: no movie.
    if (!fs::is_regular_file(status)) return prefix + path + ": a device or pipe, not a movie file";
    const std::uintmax_t size = fs::file_size(path, error);
    if (!error && size == 0) return prefix + path + ": an empty file, not a movie file";

    switch (playerLookAtMovie(path.c_str())) {
    case MovieLook::playable:
        return {};
    case MovieLook::unreadable:
        return prefix + "cannot read " + path;
    case MovieLook::notAMovie:
        return prefix + path + ": not a movie file: it does not start with a QZ, QZ2, KRT or " +
               "BSX chunk";
    case MovieLook::nothingPlayable:
        break;
    }
    return prefix + path + ": no video frame and no sound in it that the player can play";
}
