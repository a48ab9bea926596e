// Writes movie files: a flat sequence of chunks, each an id, a little-endian size counting the
// 8-byte header, and a payload.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/audio_format.h"

using Bytes = std::vector<std::uint8_t>;

class ChunkWriter {
  public:
    // Appends a chunk; id is the four characters as written ("KRTk").
    void chunk(const char (&id)[5], const Bytes& payload);
    // Appends a chunk with an id given as its little-endian value (for reversed ids).
    void chunkWithId(std::uint32_t id, const Bytes& payload);
    // Appends raw bytes (for malformed files in tests).
    void raw(const Bytes& bytes);
    std::size_t size() const { return bytes_.size(); }
    const Bytes& bytes() const { return bytes_; }
    // Writes the file; false when it cannot be written.
    bool save(const std::string& path) const;

  private:
    Bytes bytes_;
};

// Payload of an "SCHl" stream header that sets every field of format.
Bytes streamHeaderPayload(const AudioFormat& format);
// Appends one tag record (tag, length, big-endian value of the fewest bytes that read back as
// value after sign extension).
void appendTagRecord(Bytes& payload, std::uint8_t tag, std::int32_t value);
