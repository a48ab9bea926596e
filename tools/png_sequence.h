// Numbered PNG files written by a pool of threads: frames are decoded one after another on the
// caller's thread and handed over as copies, while converting and compressing, which take most
// of an export's time, run on every core. Each file is the same as one thread writes.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/image_writers.h"

namespace qztool {

class PngSequence {
  public:
    // threads: writers to run (0: one a core). Each frame goes to framePatternPath(pattern, n).
    PngSequence(std::string pattern, int threads);
    ~PngSequence();
    PngSequence(const PngSequence&) = delete;
    PngSequence& operator=(const PngSequence&) = delete;

    // Queues a copy of the frame as file number; waits while the queue is full. False, with the
    // message of the earliest frame that failed, once any has.
    bool write(const ExportedFrame& frame, long number, std::string& message);
    // Waits for every queued file. False with the message of the earliest frame that failed.
    bool finish(std::string& message);

  private:
    struct Job {
        long number = 0;
        FrameFormat format = FrameFormat::xrgb8888;
        int width = 0;
        int height = 0;
        bool black = false;
        Bytes pixels;
        Bytes palette;
    };
    void work();
    void stop();

    std::string pattern_;
    std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    bool closing_ = false;
    long failedNumber_ = 0; // the earliest frame that failed, 0 when none has
    std::string failure_;
    std::vector<std::thread> pool_;
};

} // namespace qztool
