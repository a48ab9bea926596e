#include "tools/movie_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>

namespace qztool {

bool loadFile(const std::string& path, Bytes& bytes, std::string& message) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        message = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) {
        message = "cannot read " + path;
        return false;
    }
    return true;
}

void warnDamage(const std::string& path, const MovieScan& scan, const char* outcome,
                std::ostream& err) {
    if (scan.damage.empty()) return;
    const std::size_t n = scan.damage.size();
    err << "qztool: warning: " << path << ": " << n
        << (n == 1 ? " damaged place" : " damaged places")
        << " passed over as the player does, the first " << damageLine(scan.damage.front()) << "; "
        << outcome << "\n";
}

} // namespace qztool
