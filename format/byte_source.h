// Where a movie's bytes come from: memory, or a file read piece by piece. The walker, the scan
// and the decoders that follow it ask for the bytes they need at the offsets they need, so a
// file never has to be held whole.
#pragma once

#include <cstddef>

#include "platform/win32.h"

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Bytes the source holds.
    virtual std::size_t size() const = 0;
    // Copies count bytes from offset into out; offset + count is at most size(). Bytes that
    // cannot be read are zeros, and failed() turns true.
    virtual void read(std::size_t offset, std::size_t count, BYTE* out) = 0;
    // Whether any read failed: what was read since is not the file's.
    bool failed() const { return failed_; }

  protected:
    void setFailed() { failed_ = true; }

  private:
    bool failed_ = false;
};

// Bytes held in memory, which stay the caller's.
class MemorySource final : public ByteSource {
  public:
    MemorySource(const BYTE* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
    std::size_t size() const override { return size_; }
    void read(std::size_t offset, std::size_t count, BYTE* out) override;

  private:
    const BYTE* bytes_;
    std::size_t size_;
};
