#include "encoder/dor_encoder.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <vector>

#include "encoder/component_colour.h"
#include "encoder/dor_block_coder.h"
#include "format/chunk_ids.h"
#include "video/dor/dor_decoder.h"
#include "encoder/rounding.h"

namespace {

using Samples = std::array<double, 64>;

// The source of one macroblock: samples (picture bytes minus 64, unrounded) and the picture
// bytes they round to. Blocks 0 to 3 are the luma quadrants, 4 U, 5 V.
struct MacroblockSource {
    std::array<Samples, 6> samples;
    std::array<std::array<std::uint8_t, 64>, 6> bytes;
    std::array<std::uint8_t, 256> luma; // the luma bytes as 16 rows of 16
};

// Samples the decoder is to reconstruct (offsets from 64 on the component conversion's scale)
// so that it shows the source's colour. A chroma sample is one of a few steps, so it is aimed at
// the middle of the step (the decoder rounds down); luma is aimed at directly, which brings the
// decoded pictures back without a mean offset.
double lumaSample(int luma) {
    return componentLumaSample(luma) - 64;
}

double chromaSample(int sample) {
    return sample - 64 + 0.5;
}

// The picture byte a sample's block holds when coded exactly (the decoder rounds down).
std::uint8_t sampleByte(double sample) {
    return static_cast<std::uint8_t>(std::clamp(std::floor(sample) + 64, 0.0, 127.0));
}

MacroblockSource macroblockSource(const YuvPicture& p, int x, int y) {
    MacroblockSource s;
    for (int k = 0; k < 4; ++k) {
        for (int i = 0; i < 64; ++i) {
            const int px = x + (k & 1) * 8 + i % 8, py = y + (k >> 1) * 8 + i / 8;
            s.samples[k][i] = lumaSample(p.lumaAt(px, py));
        }
    }
    for (int i = 0; i < 64; ++i) {
        s.samples[4][i] = chromaSample(componentCbSample(p.cbAt(x / 2 + i % 8, y / 2 + i / 8)));
        s.samples[5][i] = chromaSample(componentCrSample(p.crAt(x / 2 + i % 8, y / 2 + i / 8)));
    }
    for (int k = 0; k < 6; ++k)
        for (int i = 0; i < 64; ++i) s.bytes[k][i] = sampleByte(s.samples[k][i]);
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            s.luma[16 * r + c] = s.bytes[(r >> 3) * 2 + (c >> 3)][(r & 7) * 8 + (c & 7)];
    return s;
}

// The reference picture as the decoder holds it: packed V, U, Y1, Y0 words; and its luma
// unpacked, one byte a pixel, for the motion search.
struct Reference {
    const std::uint8_t* bytes;
    int width;
    int height;
    std::vector<std::uint8_t> lumaPlane;

    void unpackLuma() {
        lumaPlane.resize(static_cast<std::size_t>(width) * height);
        for (int py = 0; py < height; ++py)
            for (int px = 0; px < width; ++px)
                lumaPlane[static_cast<std::size_t>(py) * width + px] =
                    static_cast<std::uint8_t>(luma(px, py));
    }
    int luma(int px, int py) const {
        return bytes[static_cast<std::size_t>(py) * width * 2 + (px >> 1) * 4 + 3 - (px & 1)];
    }
    int chroma(int word, int row, int byte) const {
        return bytes[static_cast<std::size_t>(row) * width * 2 + word * 4 + byte];
    }
};

// The block k a vector predicts, without the brightness offset.
std::array<std::uint8_t, 64> predictBlock(const Reference& ref, int k, int x, int y, int dx,
                                          int dy) {
    std::array<std::uint8_t, 64> out;
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            if (k < 4) {
                out[8 * i + j] = static_cast<std::uint8_t>(
                    ref.luma(x + dx + (k & 1) * 8 + j, y + dy + (k >> 1) * 8 + i));
            } else {
                const int word = x / 2 + (dx >> 1) + j;
                out[8 * i + j] =
                    static_cast<std::uint8_t>(ref.chroma(word, y + dy + 2 * i, k == 4 ? 1 : 0));
            }
        }
    }
    return out;
}

// Whether every block the vector predicts lies inside the reference picture.
bool vectorInside(const Reference& ref, int x, int y, int dx, int dy) {
    return x + dx >= 0 && x + dx + 16 <= ref.width && y + dy >= 0 && y + dy + 16 <= ref.height;
}

long lumaSad(const Reference& ref, const MacroblockSource& src, int x, int y, int dx, int dy,
             long limit) {
    long sad = 0;
    for (int r = 0; r < 16; ++r) {
        const std::uint8_t* want = src.luma.data() + 16 * r;
        const std::uint8_t* have =
            ref.lumaPlane.data() + static_cast<std::size_t>(y + dy + r) * ref.width + x + dx;
        int row = 0;
        for (int c = 0; c < 16; ++c) row += std::abs(want[c] - have[c]);
        sad += row;
        if (sad >= limit) return sad;
    }
    return sad;
}

struct Vector {
    int dx = 0;
    int dy = 0;
};

// A small step search from the best of the zero vector and the neighbours' vectors.
Vector searchVector(const Reference& ref, const MacroblockSource& src, int x, int y, int range,
                    const std::vector<Vector>& starts) {
    Vector best;
    long bestSad = LONG_MAX;
    auto tryVector = [&](int dx, int dy) {
        if (std::abs(dx) > range || std::abs(dy) > range || !vectorInside(ref, x, y, dx, dy))
            return;
        const long sad = lumaSad(ref, src, x, y, dx, dy, bestSad);
        if (sad < bestSad) bestSad = sad, best = {dx, dy};
    };
    tryVector(0, 0);
    for (const Vector& v : starts) tryVector(v.dx, v.dy);
    if (bestSad == LONG_MAX) return best;
    for (int step = 8; step >= 1; step /= 2) {
        for (bool moved = true; moved;) {
            const Vector centre = best;
            for (int sy = -1; sy <= 1; ++sy)
                for (int sx = -1; sx <= 1; ++sx)
                    if (sx || sy) tryVector(centre.dx + sx * step, centre.dy + sy * step);
            moved = best.dx != centre.dx || best.dy != centre.dy;
        }
    }
    return best;
}

long squaredError(const std::array<std::uint8_t, 64>& a, const std::array<std::uint8_t, 64>& b) {
    long e = 0;
    for (int i = 0; i < 64; ++i) e += (a[i] - b[i]) * (a[i] - b[i]);
    return e;
}

struct IntraBlock {
    DorLevels levels;
    int bits;
    long error;
};

IntraBlock intraBlock(const MacroblockSource& src, int k, const LONG* dequant) {
    IntraBlock b;
    b.levels = quantiseDorBlock(src.samples[k], dequant);
    b.bits = dorBlockBits(b.levels);
    b.error = squaredError(reconstructDorBlock(b.levels, dequant), src.bytes[k]);
    return b;
}

void writeMotionMacroblock(DorBitWriter& out, const Reference& ref, const MacroblockSource& src,
                           int x, int y, Vector vector, const LONG* dequant, double lambda) {
    std::array<IntraBlock, 6> intra;
    std::array<int, 6> offsets{};
    unsigned predicted = 0;
    for (int k = 0; k < 6; ++k) {
        intra[k] = intraBlock(src, k, dequant);
        const auto base = predictBlock(ref, k, x, y, vector.dx, vector.dy);
        double diff = 0;
        for (int i = 0; i < 64; ++i) diff += src.bytes[k][i] - base[i];
        const int v = static_cast<int>(std::clamp(roundHalfAway(diff / 64), -16L, 16L));
        std::array<std::uint8_t, 64> shown;
        for (int i = 0; i < 64; ++i)
            shown[i] = static_cast<std::uint8_t>(std::clamp(base[i] + v, 0, 127));
        const double predictedCost =
            static_cast<double>(squaredError(shown, src.bytes[k])) + lambda * dorSmallValueBits(v);
        const double intraCost = static_cast<double>(intra[k].error) + lambda * intra[k].bits;
        offsets[k] = v;
        if (predictedCost <= intraCost) predicted |= 1u << k;
    }
    if (predicted == 0) {
        out.put(0, 2);
    } else if (predicted == 0x3F) {
        out.put(1, 1);
    } else {
        out.put(0x40 | predicted, 8);
    }
    if (predicted != 0) {
        writeDorSmallValue(out, vector.dx);
        writeDorSmallValue(out, vector.dy);
    }
    for (int k = 0; k < 6; ++k) {
        if (predicted & (1u << k))
            writeDorSmallValue(out, offsets[k]);
        else
            writeDorBlock(out, intra[k].levels);
    }
}

void put16(Bytes& bytes, std::size_t at, int value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

} // namespace

std::uint32_t dorChunkId(DorFrameKind kind) {
    switch (kind) {
    case DorFrameKind::key:
        return chunkId("DORk");
    case DorFrameKind::motion:
        return chunkId("DORm");
    default:
        return chunkId("DORe");
    }
}

long dorFrameType(DorFrameKind kind) {
    return kind == DorFrameKind::key ? 5 : (kind == DorFrameKind::motion ? 6 : 7);
}

int dorLumaByte(int luma) {
    return sampleByte(lumaSample(luma));
}

int dorCbByte(int cb) {
    return sampleByte(chromaSample(componentCbSample(cb)));
}

int dorCrByte(int cr) {
    return sampleByte(chromaSample(componentCrSample(cr)));
}

DorEncoder::DorEncoder(DorEncoderOptions options)
    : options_(options), video_(std::make_unique<VideoState>()) {
    options_.quantiser = std::clamp(options_.quantiser, 1, 127);
    options_.searchRange = std::clamp(options_.searchRange, 0, 16);
}

DorEncoder::~DorEncoder() {
    releaseVideoState(*video_);
}

Bytes DorEncoder::encode(const YuvPicture& picture, DorFrameKind kind) {
    // Macroblocks past the picture's edge repeat its last row and column.
    const int width = (picture.width + 15) & ~15, height = (picture.height + 15) & ~15;
    Bytes payload(dorHeaderBytes, 0);
    put16(payload, 8, picture.width);
    put16(payload, 10, picture.height);
    payload[13] = static_cast<std::uint8_t>(options_.quantiser);
    LONG dequant[64];
    buildDorDequant(dequant, options_.quantiser);

    std::vector<std::uint8_t> zeros;
    Reference ref{video_->dor.reference, width, height, {}};
    if (ref.bytes == nullptr || video_->dor.width != width || video_->dor.height != height) {
        zeros.assign(static_cast<std::size_t>(width) * height * 2, 0);
        ref.bytes = zeros.data();
    }
    if (kind != DorFrameKind::key) ref.unpackLuma();
    const double lambda = std::max(1.0, options_.quantiser * options_.quantiser / 4.0);
    const int columns = width / 16;
    std::vector<Vector> vectors(static_cast<std::size_t>(columns) * (height / 16));
    DorBitWriter out;
    for (int my = 0; my < height / 16; ++my) {
        for (int mx = 0; mx < columns; ++mx) {
            const int x = mx * 16, y = my * 16;
            const MacroblockSource src = macroblockSource(picture, x, y);
            if (kind == DorFrameKind::key) {
                for (int k = 0; k < 6; ++k)
                    writeDorBlock(out, quantiseDorBlock(src.samples[k], dequant));
                continue;
            }
            std::vector<Vector> starts;
            if (mx > 0) starts.push_back(vectors[my * columns + mx - 1]);
            if (my > 0) starts.push_back(vectors[(my - 1) * columns + mx]);
            const Vector v = searchVector(ref, src, x, y, options_.searchRange, starts);
            vectors[my * columns + mx] = v;
            writeMotionMacroblock(out, ref, src, x, y, v, dequant, lambda);
        }
    }
    const Bytes bits = out.bytes();
    payload.insert(payload.end(), bits.begin(), bits.end());

    video_->frameDataEnd = payload.data() + payload.size();
    last_ = decodeDorPicture(video_.get(), payload.data(), dorFrameType(kind));
    video_->frameDataEnd = nullptr;
    return payload;
}
