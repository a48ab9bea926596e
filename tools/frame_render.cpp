#include "tools/frame_render.h"

#include <algorithm>
#include <cstring>

#include "display/display.h"
#include "platform/standin/ddraw_control.h"
#include "engine/frame_dispatch.h"
#include "video/colour_tables.h"

namespace qztool {

namespace {

constexpr DWORD lockFlags = DDLOCK_WAIT | DDLOCK_NOSYSLOCK;

int roundToMacroblocks(int side) {
    return (side + 15) / 16 * 16;
}

qzplat::DisplayFormat displayFormat(FrameFormat format) {
    switch (format) {
    case FrameFormat::pal8:
        return qzplat::DisplayFormat::palette8;
    case FrameFormat::rgb555:
        return qzplat::DisplayFormat::rgb555;
    case FrameFormat::rgb565:
        return qzplat::DisplayFormat::rgb565;
    default:
        return qzplat::DisplayFormat::rgb888;
    }
}

LONG readS16(const BYTE* p) {
    return static_cast<LONG>(static_cast<short>(p[0] | (p[1] << 8)));
}

// Locks a whole surface; null when it cannot be locked.
BYTE* lockSurface(IDirectDrawSurface2* surface, LONG& pitch, DWORD& width, DWORD& height) {
    if (surface == nullptr) return nullptr;
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    if (FAILED(surface->Lock(nullptr, &desc, lockFlags, nullptr))) return nullptr;
    if (desc.lpSurface == nullptr || desc.lPitch <= 0) {
        surface->Unlock(nullptr);
        return nullptr;
    }
    pitch = desc.lPitch;
    width = desc.dwWidth;
    height = desc.dwHeight;
    return static_cast<BYTE*>(desc.lpSurface);
}

} // namespace

std::optional<FrameFormat> parseFrameFormat(std::string_view name) {
    for (FrameFormat f : {FrameFormat::pal8, FrameFormat::rgb555, FrameFormat::rgb565,
                          FrameFormat::xrgb8888, FrameFormat::yuy2}) {
        if (name == frameFormatName(f)) return f;
    }
    return std::nullopt;
}

const char* frameFormatName(FrameFormat format) {
    switch (format) {
    case FrameFormat::pal8:
        return "pal8";
    case FrameFormat::rgb555:
        return "rgb555";
    case FrameFormat::rgb565:
        return "rgb565";
    case FrameFormat::xrgb8888:
        return "xrgb8888";
    case FrameFormat::yuy2:
        return "yuy2";
    }
    return "?";
}

int framePixelBytes(FrameFormat format) {
    switch (format) {
    case FrameFormat::pal8:
        return 1;
    case FrameFormat::xrgb8888:
        return 4;
    default:
        return 2;
    }
}

bool frameFormatShows(FrameFormat format, LONG type) {
    switch (format) {
    case FrameFormat::pal8:
        // The DCT and DOR decoders write RGB only; KRT pictures are palette indices.
        return type == 1 || type == 2;
    case FrameFormat::yuy2:
        // Only type-4 frames have a YUV output.
        return type == 4;
    default:
        return type >= 1 && type <= 7;
    }
}

std::optional<PictureSize> videoPictureSize(LONG type, const BYTE* payload, std::size_t size) {
    switch (type) {
    case 1:
        if (size < 4) return std::nullopt;
        return PictureSize{payload[0] | (payload[1] << 8), payload[2] | (payload[3] << 8)};
    case 3:
    case 4:
        if (size < 4) return std::nullopt;
        return PictureSize{readS16(payload), readS16(payload + 2)};
    case 5:
    case 6:
    case 7:
        if (size < 12) return std::nullopt;
        return PictureSize{readS16(payload + 8), readS16(payload + 10)};
    default:
        return std::nullopt;
    }
}

FrameRenderer::FrameRenderer() : ctx_(std::make_unique<PlayerContext>()) {}

FrameRenderer::~FrameRenderer() {
    close();
}

bool FrameRenderer::open(FrameFormat format, PictureSize size, int gamma, std::string& message) {
    close();
    if (size.width <= 0 || size.height <= 0 || size.width > maxPictureSide ||
        size.height > maxPictureSide) {
        message = "picture size " + std::to_string(size.width) + "x" + std::to_string(size.height) +
                  " cannot be exported";
        return false;
    }
    format_ = format;
    size_ = size;
    const bool yuv = format == FrameFormat::yuy2;

    // A display exactly as large as the padded picture, in the export's layout; a driver that
    // blits YUY2 for yuy2, so that the YUV type-4 decoder writes the YUY2 movie surface.
    qzplat::DeviceProfile profile;
    profile.width = static_cast<DWORD>(roundToMacroblocks(size.width));
    profile.height = static_cast<DWORD>(roundToMacroblocks(size.height));
    profile.format = displayFormat(format);
    profile.caps = yuv ? qzplat::capsBltYuv : 0;
    qzplat::setDeviceProfiles({profile});

    if (FAILED(DirectDrawCreate(nullptr, &directDraw_, nullptr)) ||
        FAILED(directDraw_->SetCooperativeLevel(nullptr, DDSCL_NORMAL))) {
        message = "the display device cannot be created";
        return false;
    }
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface* first = nullptr;
    void* primary = nullptr;
    if (FAILED(directDraw_->CreateSurface(&desc, &first, nullptr)) ||
        FAILED(first->QueryInterface(IID_IDirectDrawSurface2, &primary))) {
        if (first != nullptr) first->Release();
        message = "the display surface cannot be created";
        return false;
    }
    first->Release();

    *ctx_ = PlayerContext{};
    config_ = PlayerConfig{};
    config_.context = ctx_.get();
    ctx_->config = &config_;
    ctx_->display.config = &config_;
    config_.directDraw = directDraw_;
    config_.primarySurface = static_cast<IDirectDrawSurface2*>(primary);
    // No centring, doubling or stretching: the picture sits at the target's top-left corner,
    // and without a back buffer the dispatch locks the primary surface itself.
    config_.flags = directToSurface | gammaGiven | (yuv ? hardwareYuv : 0);
    config_.allowedModes = yuv ? modeStretchBlit : modeRgb;
    config_.gamma = gamma;
    config_.movieWidth = size.width;
    config_.movieHeight = size.height;
    displaySetup(&ctx_->display);
    if (ctx_->display.displayReady) buildColourTables(config_.pixelFormat, config_.gamma);
    if (!ctx_->display.displayReady ||
        ctx_->display.displayMode != (yuv ? LONG{modeStretchBlit} : LONG{modeRgb})) {
        message = std::string("the display cannot show ") + frameFormatName(format);
        return false;
    }
    if (yuv) {
        // The YUY2 movie surface is made here, at the padded size, rather than at the first
        // frame, so that it starts zero-filled like every other target.
        config_.movieWidth = static_cast<LONG>(profile.width);
        config_.movieHeight = static_cast<LONG>(profile.height);
        if (prepareSurfaces(&ctx_->display) != 0 ||
            ctx_->display.displayMode != LONG{modeStretchBlit} || config_.movieSurface == nullptr) {
            message = "the YUY2 surface cannot be created";
            return false;
        }
    }
    if (!clearTarget()) {
        message = "the target cannot be locked";
        return false;
    }
    return true;
}

IDirectDrawSurface2* FrameRenderer::targetSurface() const {
    return format_ == FrameFormat::yuy2 ? config_.movieSurface : config_.primarySurface;
}

bool FrameRenderer::clearTarget() {
    LONG pitch = 0;
    DWORD width = 0, height = 0;
    IDirectDrawSurface2* surface = targetSurface();
    BYTE* base = lockSurface(surface, pitch, width, height);
    if (base == nullptr) return false;
    const std::size_t rowBytes = std::size_t{width} * framePixelBytes(format_);
    for (DWORD y = 0; y < height; ++y) std::memset(base + std::size_t(pitch) * y, 0, rowBytes);
    surface->Unlock(nullptr);
    return true;
}

bool FrameRenderer::decode(LONG type, const BYTE* payload, std::size_t size) {
    if (!ctx_->display.displayReady || !frameFormatShows(format_, type)) return false;
    // The reader keeps zeroed spare bytes after every queued payload; so does this copy.
    payload_.assign(size + videoPayloadSpare, 0);
    if (size != 0) std::memcpy(payload_.data(), payload, size);
    FrameEntry entry{payload_.data(), static_cast<LONG>(std::min<std::size_t>(size, 0x7FFFFFFF)),
                     sequence_++, type, 0};
    dispatchFrame(ctx_.get(), &entry);
    return true;
}

bool FrameRenderer::readPicture(Bytes& out) {
    const int pixelBytes = framePixelBytes(format_);
    const std::size_t rowBytes = std::size_t(size_.width) * pixelBytes;
    out.assign(rowBytes * size_.height, 0);
    LONG pitch = 0;
    DWORD width = 0, height = 0;
    IDirectDrawSurface2* surface = targetSurface();
    const BYTE* base = lockSurface(surface, pitch, width, height);
    if (base == nullptr) return false;
    const std::size_t copyBytes = std::min(rowBytes, std::size_t{width} * pixelBytes);
    const DWORD rows = std::min<DWORD>(height, static_cast<DWORD>(size_.height));
    for (DWORD y = 0; y < rows; ++y)
        std::memcpy(out.data() + rowBytes * y, base + std::size_t(pitch) * y, copyBytes);
    surface->Unlock(nullptr);
    return true;
}

void FrameRenderer::close() {
    if (ctx_ != nullptr && ctx_->display.displayReady) displayRelease(&ctx_->display);
    if (ctx_ != nullptr) releaseVideoState(ctx_->video);
    if (config_.primarySurface != nullptr) config_.primarySurface->Release();
    config_.primarySurface = nullptr;
    if (directDraw_ != nullptr) {
        directDraw_->Release();
        directDraw_ = nullptr;
        qzplat::resetDirectDraw();
    }
}

} // namespace qztool
