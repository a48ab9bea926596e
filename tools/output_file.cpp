#include "tools/output_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qztool {

namespace {

namespace fs = std::filesystem;

// Attempts at a free temporary name before giving up.
constexpr int temporaryAttempts = 100;

int processId() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

// Creates and opens a file that did not exist; -1 with errno set otherwise.
int createNew(const std::string& path) {
#ifdef _WIN32
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
}

std::FILE* streamOf(int fd) {
#ifdef _WIN32
    std::FILE* f = _fdopen(fd, "wb");
    if (f == nullptr) _close(fd);
#else
    std::FILE* f = fdopen(fd, "wb");
    if (f == nullptr) ::close(fd);
#endif
    return f;
}

std::string reason(int error) {
    return error != 0 ? std::strerror(error) : "write error";
}

} // namespace

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) std::remove(temporary_.c_str());
    temporary_.clear();
}

bool OutputFile::open(const std::string& path, std::string& message) {
    discard();
    path_ = path;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status)) {
        message = "cannot write " + path + ": " + reason(EISDIR);
        return false;
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        errno = 0;
        file_ = std::fopen(path.c_str(), "wb");
        return file_ != nullptr || failed(message);
    }
    // A symbolic link keeps pointing where it did: the file it names is replaced.
    fs::path target(path);
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        fs::path real = fs::canonical(target, ec);
        if (!ec) target = std::move(real);
    }
#ifndef _WIN32
    // A file that may not be written keeps that protection: it is not replaced either.
    errno = 0;
    if (fs::exists(status) && ::access(target.c_str(), W_OK) != 0) return failed(message);
#endif
    // A hidden name beside the target, so that the rename stays within one file system.
    const std::string stem =
        "." + target.filename().string() + ".part" + std::to_string(processId()) + "-";
    for (int attempt = 0; attempt < temporaryAttempts; ++attempt) {
        const std::string name = (target.parent_path() / (stem + std::to_string(attempt))).string();
        errno = 0;
        const int fd = createNew(name);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return failed(message);
        file_ = streamOf(fd);
        if (file_ == nullptr) {
            const int error = errno;
            std::remove(name.c_str());
            errno = error;
            return failed(message);
        }
        temporary_ = name;
        target_ = target.string();
#ifndef _WIN32
        // The replacement keeps the permissions of the file it replaces.
        if (fs::exists(status)) ::fchmod(fd, static_cast<mode_t>(status.permissions()));
#endif
        return true;
    }
    message = "cannot write " + path + ": no free temporary name beside it";
    return false;
}

bool OutputFile::write(const void* data, std::size_t bytes, std::string& message) {
    errno = 0;
    if (bytes == 0 || std::fwrite(data, 1, bytes, file_) == bytes) return true;
    return failed(message);
}

bool OutputFile::failed(std::string& message) {
    const int error = errno;
    message = "cannot write " + path_ + ": " + reason(error);
    discard();
    return false;
}

bool OutputFile::commit(std::string& message) {
    if (file_ == nullptr) {
        message = "cannot write " + path_ + ": not open";
        return false;
    }
    errno = 0;
    const bool flushed = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    const int flushError = errno;
    errno = 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) {
        if (!flushed) errno = flushError;
        return failed(message);
    }
    if (temporary_.empty()) return true;
    std::error_code ec;
    fs::rename(temporary_, target_, ec);
    if (ec) {
        message = "cannot write " + path_ + ": " + ec.message();
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

bool writeOutputFile(const std::string& path, const void* head, std::size_t headBytes,
                     const void* body, std::size_t bodyBytes, std::string& message) {
    OutputFile file;
    return file.open(path, message) && file.write(head, headBytes, message) &&
           file.write(body, bodyBytes, message) && file.commit(message);
}

} // namespace qztool
