#include "tools/movie_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace qztool {

namespace {

// Bytes read at a time around the chunk headers and small payloads, at most and at least;
// larger reads go straight into the caller's buffer.
constexpr std::size_t windowBytes = 256 * 1024, smallestWindow = 4096;

#ifdef _WIN32
bool seekTo(std::FILE* file, std::size_t offset) {
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}
#endif

// A regular file read at the offsets asked for, through one window of windowBytes.
class FileSource final : public ByteSource {
  public:
    FileSource(std::FILE* file, std::size_t size) : file_(file), size_(size) {
        // The window is the only buffer: stdio's own would copy every byte twice.
        std::setvbuf(file_, nullptr, _IONBF, 0);
    }
    ~FileSource() override { std::fclose(file_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::size_t size() const override { return size_; }

    void read(std::size_t offset, std::size_t count, BYTE* out) override {
        if (count == 0) return;
        if (offset >= windowOffset_ && offset - windowOffset_ + count <= window_.size()) {
            std::memcpy(out, window_.data() + (offset - windowOffset_), count);
            served_ += count;
            return;
        }
        if (count >= windowBytes / 2) {
            readFile(offset, count, out);
            return;
        }
        // A window whose bytes mostly went unread (chunk headers far apart, as a scan reads
        // them) makes the next one half as large; one read mostly through, twice as large.
        if (served_ * 4 < window_.size())
            windowSize_ = std::max(smallestWindow, windowSize_ / 2);
        else if (served_ * 2 >= window_.size())
            windowSize_ = std::min(windowBytes, windowSize_ * 2);
        const std::size_t left = size_ > offset ? size_ - offset : 0;
        window_.resize(std::min(left, std::max(windowSize_, count)));
        windowOffset_ = offset;
        served_ = count;
        readFile(offset, window_.size(), window_.data());
        std::memcpy(out, window_.data(), count);
    }

  private:
    // Reads count bytes at offset; zeros and failed() for what cannot be read.
    void readFile(std::size_t offset, std::size_t count, BYTE* out) {
        std::size_t got = 0;
#ifdef _WIN32
        if (seekTo(file_, offset)) got = std::fread(out, 1, count, file_);
#else
        // One call a read, where a seek and a read would be two.
        const int fd = fileno(file_);
        while (got < count) {
            const ssize_t n = ::pread(fd, out + got, count - got, static_cast<off_t>(offset + got));
            if (n > 0) {
                got += std::size_t(n);
            } else if (n == 0 || errno != EINTR) {
                break;
            }
        }
#endif
        if (got < count) {
            std::memset(out + got, 0, count - got);
            setFailed();
        }
    }

    std::FILE* file_;
    std::size_t size_;
    Bytes window_;
    std::size_t windowOffset_ = 0;
    std::size_t windowSize_ = windowBytes; // bytes the next window reads
    std::size_t served_ = 0;               // bytes copied out of the window since it was read
};

// A file read whole into memory.
class LoadedSource final : public ByteSource {
  public:
    explicit LoadedSource(Bytes bytes) : bytes_(std::move(bytes)) {}
    std::size_t size() const override { return bytes_.size(); }
    void read(std::size_t offset, std::size_t count, BYTE* out) override {
        if (count != 0) std::memcpy(out, bytes_.data() + offset, count);
    }

  private:
    Bytes bytes_;
};

} // namespace

bool loadFile(const std::string& path, Bytes& bytes, std::string& message) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        message = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) {
        message = readFailedMessage(path);
        return false;
    }
    return true;
}

std::unique_ptr<ByteSource> openMovie(const std::string& path, std::string& message) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        message = "cannot open " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::error_code error;
    const std::filesystem::path name(path);
    if (std::filesystem::is_regular_file(name, error)) {
        const std::uintmax_t size = std::filesystem::file_size(name, error);
        if (!error && size <= SIZE_MAX)
            return std::make_unique<FileSource>(file, static_cast<std::size_t>(size));
    }
    // Not a file whose size is known up front: read it whole, as it comes.
    std::fclose(file);
    Bytes bytes;
    if (!loadFile(path, bytes, message)) return nullptr;
    return std::make_unique<LoadedSource>(std::move(bytes));
}

std::string readFailedMessage(const std::string& path) {
    return "cannot read " + path;
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
