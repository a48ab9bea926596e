// Exported frames worked on by a pool of threads: frames are decoded one after another on the
// caller's thread and handed over as copies, while what takes most of an export's time
// (converting, compressing, writing PNG files) runs on every core. What the work makes is handed
// back to the caller's thread in the order the frames came, so that a stream (Y4M) is the same
// as one thread writes.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/image_writers.h"

namespace qztool {

class FramePool {
  public:
    // Runs on a pool thread for each frame: fills out (for commit) or writes a file of its own;
    // false with a message when the frame failed.
    using Work = std::function<bool(const ExportedFrame& frame, long number, Bytes& out,
                                    std::string& message)>;
    // Runs on the caller's thread for each frame whose work succeeded, in the order written.
    using Commit = std::function<bool(const Bytes& out, std::string& message)>;

    // threads: workers to run (0: one a core), holding two frames a worker at most and no more
    // than a memory budget takes. commit may be empty.
    FramePool(int threads, Work work, Commit commit = {});
    ~FramePool();
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;

    // Queues a copy of the frame, committing the frames before it that are done; waits while
    // the pool holds as many frames as it may. False, with the message of the earliest frame
    // that failed, once any has: then no later frame is committed and those still queued are
    // not worked on.
    bool write(const ExportedFrame& frame, long number, std::string& message);
    // Waits for every queued frame and commits them. False as write() is.
    bool finish(std::string& message);

  private:
    struct Job {
        std::size_t order = 0;
        long number = 0;
        FrameFormat format = FrameFormat::xrgb8888;
        int width = 0;
        int height = 0;
        bool black = false;
        Bytes pixels;
        Bytes palette;
    };
    struct Done {
        bool ok = false;
        Bytes out;
        std::string message;
    };
    void work();
    // Commits the frames done in order; false at the first that failed.
    bool commitDone(std::unique_lock<std::mutex>& lock);
    bool fail(std::string& message);
    // A buffer of an earlier frame to fill again, so that pictures do not take fresh memory
    // (page faults) a frame; the caller holds mutex_.
    Bytes spareBuffer();
    void recycle(Bytes&& buffer);

    Work work_;
    Commit commit_;
    std::size_t workers_;  // threads asked for; started at the first frame
    std::size_t capacity_; // frames held at most
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    std::map<std::size_t, Done> done_; // worked on, not yet committed, by order
    std::size_t queued_ = 0;           // frames written so far
    std::size_t committed_ = 0;        // frames committed so far (in order)
    bool closing_ = false;
    bool failed_ = false;
    std::string failure_; // the earliest failed frame's message
    std::vector<Bytes> spare_;
    std::vector<std::thread> pool_;
};

} // namespace qztool
