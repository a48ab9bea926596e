// Block matching and block choice for KRT delta frames.
#include "encoder/krt_blocks.h"

#include <algorithm>
#include <map>
#include <numeric>

namespace {

constexpr int minDisplacement = -512;
constexpr int maxDisplacement = 511;

struct Candidate {
    KrtVector vector{0, 0};
    int error = 1 << 30;
};

class Matcher {
  public:
    Matcher(const KrtBlockSearch& s, const std::vector<std::uint8_t>& previous,
            const std::vector<std::uint8_t>& target, const std::vector<int>& distance)
        : s_(s), previous_(previous), target_(target), distance_(distance),
          lastStart_(long(s.width) * s.height - 3L * s.width - 4) {}

    // Summed error of the block at at copied from at + offset, or -1 when the copy would leave
    // the previous picture; stops counting past limit.
    int error(long at, KrtVector v, int limit) const {
        if (v.dx < minDisplacement || v.dx > maxDisplacement || v.dy < minDisplacement ||
            v.dy > maxDisplacement || v.dy <= -s_.height || v.dy >= s_.height)
            return -1;
        const long from = at + long(v.dy) * s_.width + v.dx;
        if (from < 0 || from > lastStart_) return -1;
        int sum = 0;
        for (int row = 0; row < 4; ++row) {
            const std::uint8_t* t = target_.data() + at + long(row) * s_.width;
            const std::uint8_t* p = previous_.data() + from + long(row) * s_.width;
            for (int x = 0; x < 4; ++x) sum += distance_[std::size_t(t[x]) * 256 + p[x]];
            if (sum > limit) return sum;
        }
        return sum;
    }

    void consider(long at, KrtVector v, Candidate& best) const {
        const int e = error(at, v, best.error);
        if (e >= 0 && e < best.error) best = {v, e};
    }

    Candidate search(long at, const std::vector<KrtVector>& hints) const {
        Candidate best;
        consider(at, {0, 0}, best);
        for (const KrtVector& v : hints) consider(at, v, best);
        if (best.error == 0) return best;
        for (int dy = -s_.range; dy <= s_.range; ++dy)
            for (int dx = -s_.range; dx <= s_.range; ++dx) consider(at, {dx, dy}, best);
        return best;
    }

  private:
    const KrtBlockSearch& s_;
    const std::vector<std::uint8_t>& previous_;
    const std::vector<std::uint8_t>& target_;
    const std::vector<int>& distance_;
    long lastStart_;
};

// A block's proposal before the table budget is applied.
struct Proposal {
    long at;
    Candidate copy;
    bool hasCopy;
    bool wantsNew;
    KrtNewBlock block;
};

struct VectorOrder {
    bool operator()(const KrtVector& a, const KrtVector& b) const {
        return a.dx != b.dx ? a.dx < b.dx : a.dy < b.dy;
    }
};

std::pair<bool, ByteBlock> blockKey(const KrtNewBlock& b) {
    return {b.twoBit, b.bytes};
}

} // namespace

ByteBlock makeTwoBitBlock(const std::uint8_t* block, const std::vector<int>& distance, int* error) {
    std::vector<std::uint8_t> distinct(block, block + 16);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    std::uint8_t colours[4];
    const auto d = [&](int a, int b) { return distance[std::size_t(a) * 256 + std::size_t(b)]; };
    if (distinct.size() <= 4) {
        for (std::size_t i = 0; i < 4; ++i) colours[i] = distinct[std::min(i, distinct.size() - 1)];
    } else {
        // Farthest-point start, then a few rounds of medoid refinement among the block's colours.
        colours[0] = block[0];
        for (int k = 1; k < 4; ++k) {
            int far = -1;
            for (std::uint8_t c : distinct) {
                int nearest = 1 << 30;
                for (int j = 0; j < k; ++j) nearest = std::min(nearest, d(c, colours[j]));
                if (nearest > far) {
                    far = nearest;
                    colours[k] = c;
                }
            }
        }
        for (int round = 0; round < 3; ++round) {
            std::vector<int> group(16);
            for (int j = 0; j < 16; ++j) {
                int best = 0;
                for (int k = 1; k < 4; ++k)
                    if (d(block[j], colours[k]) < d(block[j], colours[best])) best = k;
                group[std::size_t(j)] = best;
            }
            for (int k = 0; k < 4; ++k) {
                int bestCost = 1 << 30;
                for (std::uint8_t c : distinct) {
                    int cost = 0;
                    for (int j = 0; j < 16; ++j)
                        if (group[std::size_t(j)] == k) cost += d(block[j], c);
                    if (cost < bestCost) {
                        bestCost = cost;
                        colours[k] = c;
                    }
                }
            }
        }
    }
    ByteBlock out{};
    std::uint32_t mask = 0;
    int sum = 0;
    for (int j = 0; j < 16; ++j) {
        int best = 0;
        for (int k = 1; k < 4; ++k)
            if (d(block[j], colours[k]) < d(block[j], colours[best])) best = k;
        sum += d(block[j], colours[best]);
        mask |= std::uint32_t(best) << (30 - 2 * j);
    }
    for (int k = 0; k < 4; ++k) out[std::size_t(k)] = colours[k];
    for (int i = 0; i < 4; ++i) out[std::size_t(4 + i)] = std::uint8_t(mask >> (8 * i));
    *error = sum;
    return out;
}

void expandTwoBitBlock(const ByteBlock& twoBit, std::uint8_t* out) {
    const std::uint32_t mask =
        twoBit[4] | (twoBit[5] << 8) | (twoBit[6] << 16) | (std::uint32_t{twoBit[7]} << 24);
    for (int j = 0; j < 16; ++j) out[j] = twoBit[(mask >> (30 - 2 * j)) & 3];
}

KrtBlockPlan planKrtBlocks(const KrtBlockSearch& search, const std::vector<std::uint8_t>& previous,
                           const std::vector<std::uint8_t>& target,
                           const std::vector<int>& distance, int maxBlocks) {
    const Matcher matcher(search, previous, target, distance);
    const int across = search.width / 4;
    const int down = search.height / 4;
    std::vector<Proposal> proposals;
    proposals.reserve(std::size_t(across) * std::size_t(down));
    for (int by = 0; by < down; ++by)
        for (int bx = 0; bx < across; ++bx) {
            const long at = long(by) * 4 * search.width + 4L * bx;
            std::vector<KrtVector> hints;
            if (bx > 0) hints.push_back(proposals.back().copy.vector);
            if (by > 0)
                hints.push_back(proposals[proposals.size() - std::size_t(across)].copy.vector);
            Proposal p{at, matcher.search(at, hints), true, false, {}};
            p.hasCopy = p.copy.error < (1 << 30);
            if (!p.hasCopy || p.copy.error > search.blockError) {
                std::uint8_t pixels[16];
                for (int row = 0; row < 4; ++row)
                    std::copy_n(target.data() + at + long(row) * search.width, 4, pixels + 4 * row);
                int twoBitError = 0;
                const ByteBlock twoBit = makeTwoBitBlock(pixels, distance, &twoBitError);
                p.wantsNew = true;
                if (twoBitError <= search.blockError) {
                    p.block = {true, twoBit};
                } else {
                    p.block.twoBit = false;
                    std::copy_n(pixels, 16, p.block.bytes.begin());
                }
            }
            proposals.push_back(p);
        }

    // Keep the tables within the index width: blocks that lose least go back to their copy.
    std::map<KrtVector, int, VectorOrder> vectorUses;
    std::map<std::pair<bool, ByteBlock>, int> blockUses;
    for (const Proposal& p : proposals) {
        if (p.wantsNew)
            ++blockUses[blockKey(p.block)];
        else
            ++vectorUses[p.copy.vector];
    }
    std::vector<std::size_t> order(proposals.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return proposals[a].copy.error < proposals[b].copy.error;
    });
    for (std::size_t i : order) {
        if (vectorUses.size() + blockUses.size() <= std::size_t(maxBlocks)) break;
        Proposal& p = proposals[i];
        if (!p.wantsNew || !p.hasCopy) continue;
        if (--blockUses[blockKey(p.block)] == 0) blockUses.erase(blockKey(p.block));
        ++vectorUses[p.copy.vector];
        p.wantsNew = false;
    }

    KrtBlockPlan plan;
    plan.result.assign(target.size(), 0);
    std::map<KrtVector, int, VectorOrder> vectorIndex;
    std::map<std::pair<bool, ByteBlock>, int> blockIndex;
    for (const Proposal& p : proposals) {
        KrtBlockChoice choice;
        std::uint8_t pixels[16];
        if (p.wantsNew) {
            auto [it, added] = blockIndex.emplace(blockKey(p.block), int(plan.newBlocks.size()));
            if (added) plan.newBlocks.push_back(p.block);
            choice.newBlock = it->second;
            if (p.block.twoBit)
                expandTwoBitBlock(p.block.bytes, pixels);
            else
                std::copy_n(p.block.bytes.begin(), 16, pixels);
        } else {
            // Without any copy inside the picture the block stays in place: (0, 0) always is.
            const KrtVector v = p.copy.vector;
            auto [it, added] = vectorIndex.emplace(v, int(plan.vectors.size()));
            if (added) plan.vectors.push_back(v);
            choice.vector = it->second;
            const long from = p.at + long(v.dy) * search.width + v.dx;
            for (int row = 0; row < 4; ++row)
                std::copy_n(previous.data() + from + long(row) * search.width, 4, pixels + 4 * row);
        }
        for (int row = 0; row < 4; ++row)
            std::copy_n(pixels + 4 * row, 4, plan.result.data() + p.at + long(row) * search.width);
        plan.choices.push_back(choice);
    }
    return plan;
}
