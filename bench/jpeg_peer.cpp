#include "bench/jpeg_peer.h"

#include <cmath>

#ifdef QZ_HAVE_TURBOJPEG
#include <turbojpeg.h>
#endif

namespace qzbench {

#ifdef QZ_HAVE_TURBOJPEG

namespace {

std::optional<std::vector<std::uint8_t>> encodeAt(tjhandle handle, const std::uint8_t* rgb,
                                                  int width, int height, int quality) {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (tjCompress2(handle, rgb, width, width * 3, height, TJPF_RGB, &buffer, &size, TJSAMP_420,
                    quality, 0) != 0) {
        tjFree(buffer);
        return std::nullopt;
    }
    std::vector<std::uint8_t> out(buffer, buffer + size);
    tjFree(buffer);
    return out;
}

} // namespace

bool jpegPeerAvailable() {
    return true;
}

std::optional<JpegPicture> encodeJpegNear(const std::uint8_t* rgb, int width, int height,
                                          double bitsPerPixel) {
    tjhandle handle = tjInitCompress();
    if (handle == nullptr) return std::nullopt;
    const double pixels = double(width) * height;
    auto bitsAt = [](const std::vector<std::uint8_t>& data, double count) {
        return double(data.size()) * 8 / count;
    };
    // Size grows with quality: bisect for the last quality at or below the target, then keep
    // whichever of it and the next is closer.
    int low = 1, high = 100;
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        const auto data = encodeAt(handle, rgb, width, height, mid);
        if (!data) {
            tjDestroy(handle);
            return std::nullopt;
        }
        if (bitsAt(*data, pixels) <= bitsPerPixel)
            low = mid;
        else
            high = mid - 1;
    }
    std::optional<JpegPicture> best;
    for (int quality : {low, low + 1}) {
        if (quality > 100) break;
        auto data = encodeAt(handle, rgb, width, height, quality);
        if (!data) break;
        const double bits = bitsAt(*data, pixels);
        if (!best || std::abs(bits - bitsPerPixel) < std::abs(best->bitsPerPixel - bitsPerPixel))
            best = JpegPicture{std::move(*data), width, height, quality, bits};
    }
    tjDestroy(handle);
    return best;
}

JpegEncoder::JpegEncoder() : handle_(tjInitCompress()) {}

JpegEncoder::~JpegEncoder() {
    if (handle_ != nullptr) tjDestroy(static_cast<tjhandle>(handle_));
    tjFree(buffer_);
}

std::pair<const std::uint8_t*, std::size_t> JpegEncoder::encode(const std::uint8_t* rgb, int width,
                                                                int height, int quality) {
    if (handle_ == nullptr) return {nullptr, 0};
    // The largest JPEG the picture can give, allocated once, so that no call reallocates.
    const unsigned long bound = tjBufSize(width, height, TJSAMP_420);
    if (bound > capacity_) {
        tjFree(buffer_);
        buffer_ = tjAlloc(static_cast<int>(bound));
        capacity_ = buffer_ != nullptr ? bound : 0;
    }
    unsigned long size = capacity_;
    if (buffer_ == nullptr ||
        tjCompress2(static_cast<tjhandle>(handle_), rgb, width, width * 3, height, TJPF_RGB,
                    &buffer_, &size, TJSAMP_420, quality, TJFLAG_NOREALLOC) != 0)
        return {nullptr, 0};
    return {buffer_, size};
}

JpegDecoder::JpegDecoder() : handle_(tjInitDecompress()) {}

JpegDecoder::~JpegDecoder() {
    if (handle_ != nullptr) tjDestroy(static_cast<tjhandle>(handle_));
}

bool JpegDecoder::decode(const JpegPicture& picture, std::vector<std::uint8_t>& out) {
    if (handle_ == nullptr) return false;
    out.resize(std::size_t(picture.width) * picture.height * 4);
    return tjDecompress2(static_cast<tjhandle>(handle_), picture.data.data(),
                         static_cast<unsigned long>(picture.data.size()), out.data(), picture.width,
                         picture.width * 4, picture.height, TJPF_BGRX, 0) == 0;
}

#else

bool jpegPeerAvailable() {
    return false;
}

std::optional<JpegPicture> encodeJpegNear(const std::uint8_t*, int, int, double) {
    return std::nullopt;
}

JpegEncoder::JpegEncoder() = default;
JpegEncoder::~JpegEncoder() {
    static_cast<void>(handle_);
    static_cast<void>(buffer_);
    static_cast<void>(capacity_);
}

std::pair<const std::uint8_t*, std::size_t> JpegEncoder::encode(const std::uint8_t*, int, int,
                                                                int) {
    return {nullptr, 0};
}

JpegDecoder::JpegDecoder() = default;
JpegDecoder::~JpegDecoder() {
    static_cast<void>(handle_);
}

bool JpegDecoder::decode(const JpegPicture&, std::vector<std::uint8_t>&) {
    return false;
}

#endif

} // namespace qzbench
