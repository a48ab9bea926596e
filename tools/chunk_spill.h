// Video chunks set aside in an unnamed temporary file as they are coded, and read back one at a
// time when the movie is written: memory stays small however long the movie.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "encoder/movie_writer.h"

namespace qztool {

class ChunkSpill {
  public:
    ChunkSpill() = default;
    ~ChunkSpill();
    ChunkSpill(const ChunkSpill&) = delete;
    ChunkSpill& operator=(const ChunkSpill&) = delete;

    // Appends a chunk; false with a message when the temporary file cannot be written.
    bool add(const MovieVideoChunk& chunk, std::string& message);
    // Reads chunk i back into chunk; false with a message.
    bool read(std::size_t i, MovieVideoChunk& chunk, std::string& message);
    std::size_t count() const { return entries_.size(); }

  private:
    struct Entry {
        std::uint32_t id;
        long offset;
        std::size_t size;
    };
    std::FILE* file_ = nullptr;
    long end_ = 0;
    std::vector<Entry> entries_;
};

} // namespace qztool
