#include "tools/chunk_spill.h"

#include <cerrno>
#include <cstring>

namespace qztool {

namespace {

std::string spillFailed() {
    return std::string("cannot use a temporary file for the coded pictures: ") +
           std::strerror(errno);
}

} // namespace

ChunkSpill::~ChunkSpill() {
    if (file_ != nullptr) std::fclose(file_);
}

bool ChunkSpill::add(const MovieVideoChunk& chunk, std::string& message) {
    if (file_ == nullptr && (file_ = std::tmpfile()) == nullptr) {
        message = spillFailed();
        return false;
    }
    errno = 0;
    if (std::fseek(file_, end_, SEEK_SET) != 0 ||
        std::fwrite(chunk.payload.data(), 1, chunk.payload.size(), file_) != chunk.payload.size()) {
        message = spillFailed();
        return false;
    }
    entries_.push_back({chunk.id, end_, chunk.payload.size()});
    end_ += static_cast<long>(chunk.payload.size());
    return true;
}

bool ChunkSpill::read(std::size_t i, MovieVideoChunk& chunk, std::string& message) {
    const Entry& e = entries_.at(i);
    chunk.id = e.id;
    chunk.payload.resize(e.size);
    errno = 0;
    if (std::fflush(file_) != 0 || std::fseek(file_, e.offset, SEEK_SET) != 0 ||
        std::fread(chunk.payload.data(), 1, e.size, file_) != e.size) {
        message = spillFailed();
        return false;
    }
    return true;
}

} // namespace qztool
