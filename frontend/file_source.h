// A movie file read piece by piece at the offsets the chunk walk asks for.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>

#include "format/byte_source.h"

class FileSource final : public ByteSource {
  public:
    explicit FileSource(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
        if (file_ != nullptr && std::fseek(file_, 0, SEEK_END) == 0) {
            const long end = std::ftell(file_);
            size_ = end > 0 ? static_cast<std::size_t>(end) : 0;
        }
    }
    ~FileSource() override {
        if (file_ != nullptr) std::fclose(file_);
    }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    std::size_t size() const override { return size_; }
    void read(std::size_t offset, std::size_t count, BYTE* out) override {
        std::size_t got = 0;
        if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) == 0)
            got = std::fread(out, 1, count, file_);
        if (got < count) {
            std::fill(out + got, out + count, BYTE{0});
            setFailed();
        }
    }

  private:
    std::FILE* file_;
    std::size_t size_ = 0;
};
