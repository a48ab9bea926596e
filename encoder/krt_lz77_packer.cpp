// The LZ77 packer of KRT key frames: hash chains find back-references, each sent with the
// shortest command that holds it; literals go in runs of 4 to 112 or, up to three, with the
// next command.
#include <algorithm>
#include <vector>

#include "encoder/krt_encoder.h"

namespace {

constexpr std::size_t maxDistance = 131072;
constexpr std::size_t maxCopy = 1028;
constexpr std::size_t maxRun = 112;
constexpr int chainDepth = 64;
constexpr int hashBits = 16;

// Bytes of the shortest command for a copy of length at distance, or 0 when none holds it.
int commandBytes(std::size_t length, std::size_t distance) {
    if (length >= 3 && length <= 10 && distance <= 1024) return 2;
    if (length >= 4 && length <= 67 && distance <= 16384) return 3;
    if (length >= 5 && length <= maxCopy && distance <= maxDistance) return 4;
    return 0;
}

// The longest copy the commands hold at distance, for a match of length bytes.
std::size_t usableLength(std::size_t length, std::size_t distance) {
    length = std::min(length, maxCopy);
    if (distance > 16384) return length >= 5 ? length : 0;
    if (distance > 1024) return length >= 4 ? length : 0;
    return length >= 3 ? length : 0;
}

struct Match {
    std::size_t length = 0;
    std::size_t distance = 0;
    int saved = 0; // bytes saved against sending the bytes as literals
};

class Packer {
  public:
    Packer(const std::uint8_t* data, std::size_t size)
        : data_(data), size_(size), head_(std::size_t{1} << hashBits, -1), previous_(size, -1) {}

    Bytes pack() {
        out_ = {0x10, 0xFB, std::uint8_t(size_ >> 16), std::uint8_t(size_ >> 8),
                std::uint8_t(size_)};
        std::size_t pos = 0;
        while (pos < size_) {
            Match match = find(pos);
            // One step of lazy matching: a better match at the next byte wins.
            if (match.saved > 0 && pos + 1 < size_) {
                insert(pos);
                const Match next = find(pos + 1);
                if (next.saved > match.saved) {
                    literals_.push_back(data_[pos]);
                    ++pos;
                    match = next;
                }
            }
            if (match.saved <= 0) {
                insert(pos);
                literals_.push_back(data_[pos++]);
                continue;
            }
            emitCopy(match);
            for (std::size_t i = 0; i < match.length; ++i) insert(pos + i);
            pos += match.length;
        }
        flushRuns();
        out_.push_back(std::uint8_t(0xFC | literals_.size()));
        out_.insert(out_.end(), literals_.begin(), literals_.end());
        return out_;
    }

  private:
    std::size_t hashAt(std::size_t pos) const {
        const std::uint32_t v = data_[pos] | (data_[pos + 1] << 8) | (data_[pos + 2] << 16);
        return (v * 2654435761u) >> (32 - hashBits);
    }

    void insert(std::size_t pos) {
        if (pos + 3 > size_ || inserted_ > pos) return;
        const std::size_t h = hashAt(pos);
        previous_[pos] = head_[h];
        head_[h] = static_cast<long>(pos);
        inserted_ = pos + 1;
    }

    Match find(std::size_t pos) const {
        Match best;
        if (pos + 3 > size_) return best;
        long candidate = head_[hashAt(pos)];
        for (int depth = 0; candidate >= 0 && depth < chainDepth; ++depth) {
            const std::size_t from = static_cast<std::size_t>(candidate);
            const std::size_t distance = pos - from;
            if (distance > maxDistance) break;
            std::size_t length = 0;
            const std::size_t limit = std::min(maxCopy, size_ - pos);
            while (length < limit && data_[from + length] == data_[pos + length]) ++length;
            const std::size_t usable = usableLength(length, distance);
            if (usable > 0) {
                const int saved = int(usable) - commandBytes(usable, distance);
                if (saved > best.saved || (saved == best.saved && usable > best.length))
                    best = {usable, distance, saved};
            }
            candidate = previous_[from];
        }
        return best;
    }

    // Sends the pending literals in runs of multiples of 4, keeping up to three for the next
    // command.
    void flushRuns() {
        std::size_t sent = 0;
        while (literals_.size() - sent >= 4) {
            const std::size_t run = std::min(maxRun, (literals_.size() - sent) & ~std::size_t{3});
            out_.push_back(std::uint8_t(0xE0 + run / 4 - 1));
            out_.insert(out_.end(), literals_.begin() + std::ptrdiff_t(sent),
                        literals_.begin() + std::ptrdiff_t(sent + run));
            sent += run;
        }
        literals_.erase(literals_.begin(), literals_.begin() + std::ptrdiff_t(sent));
    }

    void emitCopy(const Match& m) {
        flushRuns();
        const unsigned l = unsigned(literals_.size());
        const std::size_t c = m.length;
        const std::size_t d = m.distance - 1;
        switch (commandBytes(c, m.distance)) {
        case 2:
            out_.push_back(std::uint8_t(((d >> 3) & 0x60) | ((c - 3) << 2) | l));
            out_.push_back(std::uint8_t(d));
            break;
        case 3:
            out_.push_back(std::uint8_t(0x80 | (c - 4)));
            out_.push_back(std::uint8_t((l << 6) | (d >> 8)));
            out_.push_back(std::uint8_t(d));
            break;
        default:
            out_.push_back(std::uint8_t(0xC0 | ((d >> 12) & 0x10) | (((c - 5) >> 8) << 2) | l));
            out_.push_back(std::uint8_t(d >> 8));
            out_.push_back(std::uint8_t(d));
            out_.push_back(std::uint8_t(c - 5));
            break;
        }
        out_.insert(out_.end(), literals_.begin(), literals_.end());
        literals_.clear();
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::vector<long> head_;
    std::vector<long> previous_;
    std::size_t inserted_ = 0;
    std::vector<std::uint8_t> literals_;
    Bytes out_;
};

} // namespace

Bytes packKrtLz77(const std::uint8_t* data, std::size_t size) {
    return Packer(data, size).pack();
}

Bytes krtKeyFramePayload(int width, int height, const std::vector<KrtColour>& palette,
                         const std::vector<std::uint8_t>& indices) {
    Bytes payload(12, 0);
    const auto put16 = [&](std::size_t at, unsigned v) {
        payload[at] = std::uint8_t(v);
        payload[at + 1] = std::uint8_t(v >> 8);
    };
    put16(0, unsigned(width));
    put16(2, unsigned(height));
    put16(6, unsigned(palette.size()));
    for (const KrtColour& c : palette) payload.insert(payload.end(), c.begin(), c.end());
    const Bytes stream = packKrtLz77(indices.data(), indices.size());
    payload.insert(payload.end(), stream.begin(), stream.end());
    return payload;
}
