// Workers take runs in file order, at most a window of runs ahead of the one being handed out,
// and queue the runs' pictures for the caller, up to a bound on the memory they take. A worker's
// own picture is not the straight decode's: where a frame leaves pixels unwritten (skipped type-3
// macroblocks, the last row of a DOR picture, a frame whose header does not fit), the caller fills
// them from the picture handed out before, which is what the straight decode's persistent picture
// holds there.
#include "tools/parallel_frames.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "tools/picture_slab.h"
#include "tools/thread_start.h"
#include "video/dor/dor_decoder.h"

namespace qztool {

namespace {

constexpr std::size_t dctHeaderBytes = 8;
constexpr std::size_t krtPaletteOffset = 12;
constexpr LONG paletteColours = 256;
// Memory the pictures queued for the caller may take (at least 4 and at most 256 pictures).
// The run being handed out may queue a few more, so that it never waits for later runs.
constexpr std::size_t queuedBytesBudget = std::size_t{16} << 20;
constexpr std::size_t queuedMin = 4, queuedMax = 256, handedRunQueue = 2;
// Runs of each other decoder the queue holds ahead of the run being handed out.
constexpr std::size_t runsQueuedAhead = 2;
// Runs in flight a worker: enough that workers run well ahead and seldom wait for one another.
constexpr std::size_t runsAheadPerWorker = 8;
// The longest runs the caller decodes itself while it waits (with key frames up to this far
// apart): it holds its run's pictures until the runs before it are handed out.
constexpr std::size_t callerRunMax = 8;

LONG readU16(const BYTE* p) {
    return static_cast<LONG>(p[0] | (p[1] << 8));
}

// The earlier key frames that set the palette entries a key frame with n entries leaves alone:
// from the latest back, each that sets more entries than the ones after it, in file order.
std::vector<std::size_t> palettePrimes(const std::vector<std::pair<std::size_t, LONG>>& keys,
                                       LONG n) {
    std::vector<std::size_t> primes;
    LONG set = std::min(n, paletteColours);
    for (auto k = keys.rbegin(); k != keys.rend() && set < paletteColours; ++k) {
        if (k->second <= set) continue;
        primes.insert(primes.begin(), k->first);
        set = k->second;
    }
    return primes;
}

} // namespace

std::optional<std::vector<FrameRun>> planFrameRuns(const std::vector<const ScannedChunk*>& chunks,
                                                   FrameFormat format, PictureSize size) {
    enum class Open { none, krt, dor } open = Open::none;
    std::vector<FrameRun> runs;
    std::vector<std::pair<std::size_t, LONG>> keys; // KRT key frames so far and their counts
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const ScannedChunk& c = *chunks[i];
        // A frame the format cannot show is not decoded: it changes nothing.
        if (!frameFormatShows(format, c.frameType)) continue;
        const BYTE* h = c.head.data(); // the picture size and a KRT key frame's palette count
        const std::size_t bytes = c.payloadSize();
        const std::optional<PictureSize> picture = videoPictureSize(c.frameType, h, c.headSize());
        const bool sized =
            picture && picture->width == size.width && picture->height == size.height;
        switch (c.frameType) {
        case 1: {
            if (bytes < krtPaletteOffset) return std::nullopt;
            const LONG n = readU16(h + 6);
            if (bytes - krtPaletteOffset < 3 * std::size_t(n) || !sized) return std::nullopt;
            runs.push_back({{i}, palettePrimes(keys, n)});
            keys.emplace_back(i, std::min(n, paletteColours));
            open = Open::krt;
            break;
        }
        case 2:
            if (open != Open::krt) return std::nullopt;
            runs.back().frames.push_back(i);
            break;
        case 3:
        case 4:
            if (bytes < dctHeaderBytes || !sized) return std::nullopt;
            runs.push_back({{i}, {}});
            open = Open::none;
            break;
        default: // 5 to 7: DOR
            if (!sized || size.width > dorMaxSide || size.height > dorMaxSide) return std::nullopt;
            if (c.frameType == 5) {
                runs.push_back({{i}, {}});
                open = Open::dor;
            } else if (open == Open::dor) {
                runs.back().frames.push_back(i);
            } else {
                return std::nullopt;
            }
            break;
        }
    }
    return runs;
}

namespace {

// A picture a worker decoded, and which of its pixels the frame did not write.
struct DecodedFrame {
    BYTE* pixels = nullptr; // the frame's picture at the export size, from the slab
    BYTE palette[768]{};
    Bytes keptBlocks;         // one byte a macroblock, 1 where the frame wrote nothing; or empty
    bool keepLastRow = false; // the last row was not written
    bool keepAll = false;     // nothing was written
    bool readFailed = false;
};

// Which macroblocks of a type-3 frame of columns x rows macroblocks are skipped: a length byte
// that stands for no coding, or the data ending before the macroblock's length byte.
Bytes type3SkippedMacroblocks(const BYTE* payload, std::size_t size, LONG columns, LONG rows) {
    Bytes skipped(std::size_t(columns) * std::size_t(rows), 1);
    if (size < dctHeaderBytes) return skipped;
    const BYTE* data = payload + dctHeaderBytes;
    const std::size_t dataBytes = size - dctHeaderBytes;
    std::size_t pos = 0;
    for (LONG my = 0; my < rows && pos < dataBytes; ++my) {
        for (LONG mx = 0; mx < columns && pos < dataBytes; ++mx) {
            const int b = data[pos];
            pos += 1 + std::size_t(b);
            const bool coded = b == 3 || b == 6 || b == 12 || b >= 13;
            skipped[std::size_t(my) * std::size_t(columns) + std::size_t(mx)] = !coded;
        }
    }
    return skipped;
}

// What one worker keeps from frame to frame: its padded picture for the frames that are copied
// out of it (from the slab), and the file bytes its payloads are read from.
struct WorkerBuffers {
    bool caller = false; // the caller's own: never waits for room in the queue
    BYTE* target = nullptr;
    Bytes span; // file bytes from spanOffset on, read in one go for the payloads in them
    std::size_t spanOffset = 0;
};

// The most file bytes a worker reads at a time. A read reaches from a payload to the end of its
// run, no further: the bytes of runs other decoders take are not copied out of the file twice.
constexpr std::size_t spanBytes = std::size_t{1} << 20;

class ParallelFrames final : public FrameStream {
  public:
    ParallelFrames(ByteSource& file, const std::vector<const ScannedChunk*>& chunks,
                   FrameFormat format, int gamma, PictureSize size, std::vector<FrameRun> runs,
                   int threads)
        : file_(file), chunks_(chunks), format_(format), gamma_(gamma), size_(size),
          pixelBytes_(framePixelBytes(format)), rowBytes_(std::size_t(size.width) * pixelBytes_),
          paddedWidth_((size.width + 15) / 16 * 16), paddedHeight_((size.height + 15) / 16 * 16),
          pitch_(std::ptrdiff_t{paddedWidth_} * pixelBytes_), runs_(std::move(runs)) {
        const std::size_t frameBytes = std::max<std::size_t>(1, rowBytes_ * size.height);
        maxQueued_ = std::clamp(queuedBytesBudget / frameBytes, queuedMin, queuedMax);
        window_ = std::clamp<std::size_t>(maxQueued_, 2, runsAheadPerWorker * std::size_t(threads));
        slots_.resize(window_);
        std::size_t longestRun = 1;
        for (const FrameRun& run : runs_) longestRun = std::max(longestRun, run.frames.size());
        // Where the runs are short, the caller decodes runs too while it waits, and one thread
        // fewer is started: a caller woken for every picture would take a core from a worker
        // each time.
        callerDecodes_ = longestRun <= callerRunMax;
        // Each decoder keeps a picture and a decoder's pictures of its own: no more of them than
        // a quarter of the pictures that may be queued, so that memory stays bounded for large
        // pictures and many threads.
        const int decoders = std::clamp(int(maxQueued_ / 4), 2, threads);
        const int workers = decoders - (callerDecodes_ ? 1 : 0);
        // Two runs of every other decoder finished ahead of the one being handed out: one keeps
        // decoders of equal speed going, the second lets one of them fall a run behind (a core
        // taken for a while on a shared machine) before the others wait. More would only spread
        // the pictures over more memory than the caches hold.
        maxQueued_ =
            std::clamp(runsQueuedAhead * std::size_t(decoders - 1) * longestRun + handedRunQueue,
                       queuedMin, maxQueued_);
        // Every picture that can be held at once: the queue, the run being handed out beyond
        // it, one each decoder decodes into and a padded one each copies from, and the caller's
        // canvas; where the caller decodes, the run it queues past the bound. Each is as large
        // as the padded picture.
        const std::size_t padded = std::size_t(pitch_) * std::size_t(paddedHeight_);
        slab_ = std::make_unique<PictureSlab>(
            std::max(padded, frameBytes), maxQueued_ + handedRunQueue + 2 * std::size_t(decoders) +
                                              1 + (callerDecodes_ ? longestRun : 0));
        canvas_ = slab_->take(); // zero-filled
        // The workers' decoders are of the same format and gamma: they only read the tables.
        callerDecoder_ = std::make_unique<VideoDecoder>(format_, gamma_);
        callerDecoder_->buildTables();
        callerOwn_.caller = true;
        // The caller starts on the first run, whose pictures it hands out as it decodes them,
        // while the workers start: a worker's first pictures take longer (its thread, its
        // decoder's first pictures), and the caller would pile up runs of its own meanwhile.
        if (callerDecodes_) callerRun_ = nextRun_++;
        for (int i = 0; i < workers; ++i) pool_.push_back(startThreadElsewhere([this] { work(); }));
    }

    ~ParallelFrames() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        room_.notify_all();
        for (std::thread& t : pool_) t.join();
    }

    bool next(StreamFrame& frame) override {
        const std::size_t i = nextFrame_++;
        const ScannedChunk& c = *chunks_[i];
        if (!frameFormatShows(format_, c.frameType)) {
            // Read as the straight decode reads it, so that a read failure shows at this frame.
            if (!readChunk(i, blackPayload_)) return false;
            frame = {false, nullptr, lastPalette_};
            return true;
        }
        DecodedFrame decoded = take();
        if (decoded.readFailed) return false;
        std::memcpy(lastPalette_, decoded.palette, sizeof lastPalette_);
        if (!decoded.keepAll) {
            keepFromCanvas(decoded);
            std::swap(canvas_, decoded.pixels);
            recycle(decoded.pixels);
        }
        frame = {true, canvas_, lastPalette_};
        return true;
    }

  private:
    // Reads chunk i's payload under the file lock; false when the read failed.
    bool readChunk(std::size_t i, Bytes& payload) {
        std::lock_guard lock(fileMutex_);
        readPayload(file_, *chunks_[i], payload); // fills payload whole
        return !file_.failed();
    }

    // Chunk i's payload in the worker's span, reading a new span from the payload up to chunk
    // last's payload end when it is not in it; null when the read failed.
    const BYTE* readSpanned(std::size_t i, std::size_t last, WorkerBuffers& own) {
        const ScannedChunk& c = *chunks_[i];
        const std::size_t offset = c.payloadOffset(), bytes = c.payloadSize();
        if (offset < own.spanOffset || offset + bytes > own.spanOffset + own.span.size()) {
            std::lock_guard lock(fileMutex_);
            const std::size_t left = file_.size() > offset ? file_.size() - offset : 0;
            own.spanOffset = offset;
            if (left < bytes) { // not held by the file: read as the straight decode reads it
                readPayload(file_, c, own.span);
            } else {
                const ScannedChunk& end = *chunks_[std::max(i, last)];
                const std::size_t reach = end.payloadOffset() + end.payloadSize() - offset;
                own.span.resize(std::max(bytes, std::min({spanBytes, reach, left})));
                file_.read(offset, own.span.size(), own.span.data());
            }
            if (file_.failed()) return nullptr;
        }
        return own.span.data() + (offset - own.spanOffset);
    }

    // Decodes chunk i (whose run ends at chunk last) into the worker's picture and fills out
    // with the cropped picture and what the frame left unwritten; false when the payload could
    // not be read.
    bool decodeInto(VideoDecoder& decoder, std::size_t i, std::size_t last, WorkerBuffers& own,
                    DecodedFrame& out) {
        const BYTE* payload = readSpanned(i, last, own);
        if (payload == nullptr) {
            out.readFailed = true;
            return false;
        }
        const ScannedChunk& c = *chunks_[i];
        // Where no cropping is needed, every frame goes straight into the picture to queue:
        // what a frame leaves unwritten (a type-3 frame's skipped macroblocks, a DOR picture's
        // last row) the caller fills. Otherwise it goes into the worker's padded picture, whose
        // visible part is copied.
        const bool direct = !picturePadded(size_);
        if (out.pixels == nullptr) out.pixels = takePicture();
        if (!direct && own.target == nullptr) own.target = takePicture();
        BYTE* const target = direct ? out.pixels : own.target;
        const PictureMemory memory{target, pitch_, paddedWidth_, paddedHeight_};
        const DecodeStatus status = decoder.decode(c.frameType, payload, c.payloadSize(), memory);
        std::memcpy(out.palette, decoder.paletteRgb(), sizeof out.palette);
        out.keepAll = status != DecodeStatus::decoded;
        if (out.keepAll) {
            recycle(out.pixels);
            out.pixels = nullptr;
            return true;
        }
        out.keepLastRow = c.frameType >= 5; // DOR pictures are shown without their last row
        if (c.frameType == 3)
            out.keptBlocks = type3SkippedMacroblocks(payload, c.payloadSize(), paddedWidth_ / 16,
                                                     paddedHeight_ / 16);
        if (!direct) cropPicture(target, pitch_, rowBytes_, size_.height, out.pixels);
        return true;
    }

    void work() {
        VideoDecoder decoder(format_, gamma_);
        WorkerBuffers own;
        for (;;) {
            std::size_t r = 0;
            {
                std::unique_lock lock(mutex_);
                waitForRoom(lock, [&] {
                    return stopping_ || nextRun_ >= runs_.size() || nextRun_ < handedRun_ + window_;
                });
                if (stopping_ || nextRun_ >= runs_.size()) return;
                r = nextRun_++;
            }
            for (std::size_t k = 0; k < runs_[r].frames.size(); ++k)
                if (!decodeStep(r, k, decoder, own)) return;
        }
    }

    // Decodes frame k of run r (the run's primes first, for its first frame) with the decoder
    // and queues its picture; false when the export is to stop: a read failed (the failure is
    // queued in the frame's place) or the export is stopping. The decoder keeps what earlier runs
    // it decoded left, none of which a run's pictures depend on: a key frame remakes or rewrites
    // every picture its group builds on, and the palette entries neither it nor its primes set
    // were set by no earlier key frame, nor by this decoder, which only decodes runs in file
    // order.
    bool decodeStep(std::size_t r, std::size_t k, VideoDecoder& decoder, WorkerBuffers& own) {
        const FrameRun& run = runs_[r];
        if (k == 0) {
            DecodedFrame primed;
            for (std::size_t p : run.primes) {
                if (!decodeInto(decoder, p, p, own, primed)) {
                    queue(r, std::move(primed), !own.caller);
                    return false;
                }
            }
            recycle(primed.pixels);
        }
        DecodedFrame frame;
        const bool read = decodeInto(decoder, run.frames[k], run.frames.back(), own, frame);
        return queue(r, std::move(frame), !own.caller) && read;
    }

    // Waits on room_ until done() holds; the caller holds mutex_.
    template <class Done> void waitForRoom(std::unique_lock<std::mutex>& lock, Done&& done) {
        ++workersWaiting_;
        room_.wait(lock, done);
        --workersWaiting_;
    }

    // Queues a picture of run r, waiting (where it may) while the queue is full unless r is
    // being handed out; false when stopping.
    bool queue(std::size_t r, DecodedFrame&& frame, bool mayWait) {
        std::unique_lock lock(mutex_);
        std::vector<DecodedFrame>& slot = slots_[r % window_];
        if (mayWait)
            waitForRoom(lock, [&] {
                return stopping_ || queuedFrames_ < maxQueued_ ||
                       (r == handedRun_ && slot.size() < handedRunQueue);
            });
        if (stopping_) return false;
        slot.push_back(std::move(frame));
        ++queuedFrames_;
        if (takerWaiting_ && r == handedRun_) ready_.notify_one(); // what the caller waits for
        return true;
    }

    // The next picture in file order. Until it is there, the caller decodes a frame of its own
    // run where it decodes too (taking the next run no worker has taken when it has none and
    // the queue has room), and otherwise waits for the picture's worker. Between its frames it
    // hands out the pictures the workers queued, so that they do not pile up while it decodes a
    // whole run.
    DecodedFrame take() {
        std::unique_lock lock(mutex_);
        std::vector<DecodedFrame>& slot = slots_[handedRun_ % window_];
        while (slot.empty()) {
            if (!callerRun_ && callerDecodes_ && nextRun_ < runs_.size() &&
                nextRun_ < handedRun_ + window_ && queuedFrames_ < maxQueued_) {
                callerRun_ = nextRun_++;
                callerFrame_ = 0;
            }
            if (callerRun_) {
                const std::size_t r = *callerRun_, k = callerFrame_++;
                if (callerFrame_ == runs_[r].frames.size()) callerRun_.reset();
                lock.unlock();
                // A failed read is queued in the frame's place: the run ends there.
                if (!decodeStep(r, k, *callerDecoder_, callerOwn_)) callerRun_.reset();
                lock.lock();
                continue;
            }
            takerWaiting_ = true;
            ready_.wait(lock, [&] { return !slot.empty(); });
            takerWaiting_ = false;
        }
        DecodedFrame frame = std::move(slot.front());
        slot.erase(slot.begin());
        --queuedFrames_;
        if (++handedInRun_ == runs_[handedRun_].frames.size()) {
            ++handedRun_;
            handedInRun_ = 0;
        }
        if (workersWaiting_ != 0) room_.notify_all();
        return frame;
    }

    // Takes the pixels the frame did not write from the picture handed out before.
    void keepFromCanvas(DecodedFrame& frame) const {
        BYTE* to = frame.pixels;
        const BYTE* from = canvas_;
        if (!frame.keptBlocks.empty()) {
            const int columns = (size_.width + 15) / 16;
            for (std::size_t k = 0; k < frame.keptBlocks.size(); ++k) {
                if (!frame.keptBlocks[k]) continue;
                const int x = int(k % columns) * 16, y = int(k / columns) * 16;
                const std::size_t offset = std::size_t(x) * pixelBytes_;
                const std::size_t bytes = std::size_t(std::min(16, size_.width - x)) * pixelBytes_;
                for (int row = y; row < std::min(y + 16, size_.height); ++row)
                    std::memcpy(to + rowBytes_ * row + offset, from + rowBytes_ * row + offset,
                                bytes);
            }
        }
        if (frame.keepLastRow) {
            const std::size_t last = rowBytes_ * std::size_t(size_.height - 1);
            std::memcpy(to + last, from + last, rowBytes_);
        }
    }

    BYTE* takePicture() {
        std::lock_guard lock(mutex_);
        return slab_->take();
    }

    void recycle(BYTE* picture) {
        if (picture == nullptr) return;
        std::lock_guard lock(mutex_);
        slab_->give(picture);
    }

    ByteSource& file_;
    const std::vector<const ScannedChunk*>& chunks_;
    const FrameFormat format_;
    const int gamma_;
    const PictureSize size_;
    const int pixelBytes_;
    const std::size_t rowBytes_;
    const int paddedWidth_, paddedHeight_; // the workers' pictures: whole macroblocks
    const std::ptrdiff_t pitch_;
    const std::vector<FrameRun> runs_;
    std::size_t window_ = 2;     // runs in flight
    std::size_t maxQueued_ = 4;  // pictures queued for the caller
    bool callerDecodes_ = false; // the caller decodes runs too while it waits

    std::mutex fileMutex_;
    std::mutex mutex_;
    std::condition_variable ready_; // a picture was queued: for the caller
    std::condition_variable room_;  // a picture was taken or the export stops: for the workers
    bool takerWaiting_ = false;
    int workersWaiting_ = 0;
    std::vector<std::vector<DecodedFrame>> slots_; // run r's queued pictures at r % window_
    std::size_t nextRun_ = 0;                      // the next run a worker takes
    std::size_t handedRun_ = 0;                    // the run whose pictures are being handed out
    std::size_t handedInRun_ = 0;                  // pictures of it handed out
    std::size_t queuedFrames_ = 0;                 // pictures queued in every slot
    bool stopping_ = false;
    std::unique_ptr<PictureSlab> slab_; // every picture of the frames, under mutex_

    // The caller's side.
    std::unique_ptr<VideoDecoder> callerDecoder_;
    WorkerBuffers callerOwn_;
    std::optional<std::size_t> callerRun_; // the run the caller decodes, if any
    std::size_t callerFrame_ = 0;          // the frame of it the caller decodes next
    std::size_t nextFrame_ = 0;
    BYTE* canvas_ = nullptr; // the straight decode's picture as it stands, cropped
    BYTE lastPalette_[768]{};
    Bytes blackPayload_;
    std::vector<std::thread> pool_; // last: started when everything above is made
};

} // namespace

std::unique_ptr<FrameStream> openParallelFrames(ByteSource& file,
                                                const std::vector<const ScannedChunk*>& chunks,
                                                FrameFormat format, int gamma, PictureSize size,
                                                std::vector<FrameRun> runs, int threads) {
    return std::make_unique<ParallelFrames>(file, chunks, format, gamma, size, std::move(runs),
                                            std::max(2, threads));
}

} // namespace qztool
