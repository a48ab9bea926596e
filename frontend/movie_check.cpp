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
    if (status.type() == fs::file_type::not_found)
        return prefix + "cannot open " + path + ": there is no such file";
    if (error) return prefix + "cannot open " + path + ": " + error.message();
    if (status.type() == fs::file_type::directory)
        return prefix + path + " is a directory, not a movie file";
    // Devices and pipes never end, or end before they begin: no movie comes from them.
    if (status.type() != fs::file_type::regular)
        return prefix + path + " is a device or other special file, not a movie file";
    const std::uintmax_t size = fs::file_size(path, error);
    if (!error && size == 0) return prefix + path + " is empty, not a movie file";

    switch (playerLookAtMovie(path.c_str())) {
    case MovieLook::playable:
        return {};
    case MovieLook::unreadable:
        return prefix + "cannot read " + path;
    case MovieLook::notAMovie:
        return prefix + path + " is not a QZ, QZ2, KRT or BSX movie file";
    case MovieLook::nothingPlayable:
        break;
    }
    return prefix + path + " holds no video frame and no sound the player can play";
}
