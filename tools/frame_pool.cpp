#include "tools/frame_pool.h"

#include <algorithm>

namespace qztool {

namespace {

// Memory the frames held by a pool may take, whatever the thread count: many threads on large
// pictures run fewer frames at a time rather than take hundreds of megabytes.
constexpr std::size_t heldBytesBudget = std::size_t{8} << 20;

} // namespace

FramePool::FramePool(int threads, Work work, Commit commit)
    : work_(std::move(work)), commit_(std::move(commit)) {
    const unsigned count =
        threads > 0 ? unsigned(threads) : std::max(1u, std::thread::hardware_concurrency());
    workers_ = count;
    // Two frames a worker keep every worker busy; the first frame's size may lower that.
    capacity_ = 2 * std::size_t{count};
}

FramePool::~FramePool() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        queue_.clear();
    }
    changed_.notify_all();
    for (std::thread& t : pool_) t.join();
}

bool FramePool::write(const ExportedFrame& frame, long number, std::string& message) {
    Job job{0, number, frame.format, frame.width, frame.height, frame.black, {}, {}};
    std::unique_lock lock(mutex_);
    if (queued_ == 0) {
        // A copy of the picture and what the work makes of it (up to 3 bytes a pixel) a frame.
        const std::size_t frameBytes = (frame.pixels ? framePictureBytes(frame) : 0) +
                                       3 * std::size_t(frame.width) * std::size_t(frame.height);
        capacity_ = std::clamp<std::size_t>(heldBytesBudget / std::max<std::size_t>(1, frameBytes),
                                            2, capacity_);
        // Two frames a worker, as above, when memory is what bounds the frames: each worker
        // also keeps memory of its own (its allocator's, a PNG writer's).
        const std::size_t workers = std::min(workers_, std::max<std::size_t>(2, capacity_ / 2));
        for (std::size_t i = 0; i < workers; ++i) pool_.emplace_back([this] { work(); });
    }
    job.pixels = spareBuffer();
    lock.unlock();
    if (frame.pixels) job.pixels.assign(frame.pixels, frame.pixels + framePictureBytes(frame));
    if (frame.format == FrameFormat::pal8) job.palette.assign(frame.palette, frame.palette + 768);
    lock.lock();
    for (;;) {
        if (failed_ || !commitDone(lock)) return fail(message);
        if (queued_ - committed_ < capacity_) break;
        changed_.wait(lock, [&] { return done_.count(committed_) != 0; });
    }
    job.order = queued_++;
    queue_.push_back(std::move(job));
    changed_.notify_all();
    return true;
}

bool FramePool::finish(std::string& message) {
    std::unique_lock lock(mutex_);
    while (!failed_ && committed_ < queued_) {
        changed_.wait(lock, [&] { return done_.count(committed_) != 0; });
        if (!commitDone(lock)) break;
    }
    if (failed_) return fail(message);
    return true;
}

bool FramePool::commitDone(std::unique_lock<std::mutex>& lock) {
    for (auto next = done_.find(committed_); next != done_.end(); next = done_.find(committed_)) {
        Done done = std::move(next->second);
        done_.erase(next);
        // Only this thread commits: the file is written without holding the pool up.
        lock.unlock();
        const bool ok = done.ok && (!commit_ || commit_(done.out, done.message));
        lock.lock();
        if (!ok) {
            failed_ = true;
            failure_ = std::move(done.message);
            return false;
        }
        recycle(std::move(done.out));
        ++committed_;
        changed_.notify_all(); // room for another frame
    }
    return true;
}

bool FramePool::fail(std::string& message) {
    // Frames still queued are not worked on after a failure.
    queue_.clear();
    message = failure_;
    return false;
}

Bytes FramePool::spareBuffer() {
    if (spare_.empty()) return {};
    Bytes b = std::move(spare_.back());
    spare_.pop_back();
    return b;
}

void FramePool::recycle(Bytes&& buffer) {
    // Every frame held takes at most a picture and an output: no more are kept than that.
    if (buffer.capacity() != 0 && spare_.size() < 2 * capacity_)
        spare_.push_back(std::move(buffer));
}

void FramePool::work() {
    for (;;) {
        Job job;
        Done done;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return !queue_.empty() || closing_; });
            if (queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
            done.out = spareBuffer();
        }
        const ExportedFrame frame{job.format,        job.width,          job.height,
                                  job.pixels.data(), job.palette.data(), job.black};
        done.ok = work_(frame, job.number, done.out, done.message);
        std::lock_guard lock(mutex_);
        recycle(std::move(job.pixels));
        done_.emplace(job.order, std::move(done));
        changed_.notify_all();
    }
}

} // namespace qztool
