// Output files that are complete or absent: every file qztool writes goes to a temporary name in
// the target's folder and is renamed over the target only once all of it is written, so that a
// failed export (disk full, unwritable folder) leaves no partial file and an earlier file of the
// same name intact.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace qztool {

class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Closes and removes the temporary file unless commit() succeeded.
    ~OutputFile();

    // Starts the file. An existing target keeps its permissions, and one that may not be
    // written is refused; through a symbolic link, the file it names is replaced. A target that
    // exists and is no regular file (a device such as /dev/null or /dev/full, a pipe) is written
    // in place: renaming over it would replace the device. False with "cannot write PATH: reason".
    bool open(const std::string& path, std::string& message);
    // Appends bytes; false with "cannot write PATH: reason".
    bool write(const void* data, std::size_t bytes, std::string& message);
    // The open stream, for writers that format into it or take a FILE*; after such a write
    // fails, failed() gives the message.
    std::FILE* stream() const { return file_; }
    // Sets "cannot write PATH: reason" from errno (the last failed call's) and returns false.
    bool failed(std::string& message);
    // Flushes, closes and renames the file over the target; false with a message, the temporary
    // file removed and the target untouched.
    bool commit(std::string& message);
    const std::string& path() const { return path_; }

  private:
    void discard();

    std::FILE* file_ = nullptr;
    std::string path_;
    std::string temporary_; // empty when writing in place
    std::string target_;    // what the temporary file is renamed to: path_, links resolved
};

// Writes head then body as the whole file at path through an OutputFile; false with a message.
bool writeOutputFile(const std::string& path, const void* head, std::size_t headBytes,
                     const void* body, std::size_t bodyBytes, std::string& message);

} // namespace qztool
