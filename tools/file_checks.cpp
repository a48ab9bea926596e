#include "tools/file_checks.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <cwctype>
#else
#include <sys/stat.h>
#endif

namespace qztool {

namespace fs = std::filesystem;

bool checkInputFile(const std::string& path, std::string& message, const char* what) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        message = "cannot open " + path + ": " +
                  (ec ? ec.message()
                      : std::make_error_code(std::errc::no_such_file_or_directory).message());
        return false;
    }
    if (fs::is_directory(status)) {
        message = path + ": a folder, not a " + what;
        return false;
    }
    if (!fs::is_regular_file(status)) {
        message = path + ": a device or pipe, not a " + what;
        return false;
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (!ec && size == 0) {
        message = path + ": an empty file, not a " + what;
        return false;
    }
    return true;
}

bool isSameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
    std::error_code ec;
    const fs::path ca = fs::weakly_canonical(a, ec);
    if (ec) return false;
    const fs::path cb = fs::weakly_canonical(b, ec);
    if (ec) return false;
    // Windows file names are compared without regard to case.
    std::wstring na = ca.wstring(), nb = cb.wstring();
    for (wchar_t& c : na) c = static_cast<wchar_t>(std::towlower(c));
    for (wchar_t& c : nb) c = static_cast<wchar_t>(std::towlower(c));
    return na == nb;
#else
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
#endif
}

bool checkOutputSparesInput(const std::string& input, const std::string& output,
                            std::string& message) {
    if (!isSameFile(input, output)) return true;
    message = "refusing to write " + output + " over the input movie " + input;
    return false;
}

bool checkIsMovie(const std::string& path, const MovieScan& scan, std::string& message) {
    if (!scan.chunks.empty()) return true;
    message = path + ": not a movie file: no chunk the player can read";
    return false;
}

} // namespace qztool
