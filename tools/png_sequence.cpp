#include "tools/png_sequence.h"

#include <algorithm>

namespace qztool {

PngSequence::PngSequence(std::string pattern, int threads) : pattern_(std::move(pattern)) {
    const unsigned count =
        threads > 0 ? unsigned(threads) : std::max(1u, std::thread::hardware_concurrency());
    // Two frames a writer keep every writer busy without holding many pictures.
    capacity_ = 2 * std::size_t{count};
    for (unsigned i = 0; i < count; ++i) pool_.emplace_back([this] { work(); });
}

PngSequence::~PngSequence() {
    stop();
}

bool PngSequence::write(const ExportedFrame& frame, long number, std::string& message) {
    Job job{number, frame.format, frame.width, frame.height, frame.black, {}, {}};
    if (!frame.black) job.pixels = *frame.pixels;
    if (frame.format == FrameFormat::pal8) job.palette.assign(frame.palette, frame.palette + 768);
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return queue_.size() < capacity_ || failedNumber_ != 0; });
        if (failedNumber_ == 0) {
            queue_.push_back(std::move(job));
            changed_.notify_all();
            return true;
        }
    }
    // An earlier frame still being written may fail too: wait for the writers, so that the
    // message is always the earliest frame's, whichever writer failed first.
    return finish(message);
}

bool PngSequence::finish(std::string& message) {
    stop();
    if (failedNumber_ == 0) return true;
    message = failure_;
    return false;
}

void PngSequence::stop() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        // After a failure the export stops: frames still queued are not written.
        if (failedNumber_ != 0) queue_.clear();
    }
    changed_.notify_all();
    for (std::thread& t : pool_) t.join();
    pool_.clear();
}

void PngSequence::work() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return !queue_.empty() || closing_; });
            if (queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
            changed_.notify_all();
        }
        const ExportedFrame frame{job.format,  job.width,          job.height,
                                  &job.pixels, job.palette.data(), job.black};
        std::string message;
        if (writeFramePng(framePatternPath(pattern_, job.number), frame, message)) continue;
        std::lock_guard lock(mutex_);
        if (failedNumber_ == 0 || job.number < failedNumber_) {
            failedNumber_ = job.number;
            failure_ = message;
        }
        changed_.notify_all();
    }
}

} // namespace qztool
