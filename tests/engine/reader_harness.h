// Drives the chunk reader on a zero-filled config and context, standing in for its consumers:
// the play loop takes frames, the feeder takes audio blocks, each freeing its slot by hand.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encoder/audio_encoders.h"
#include "format/container_writer.h"
#include "engine/reader.h"
#include "format/limits.h"
#include "api/shared.h"
#include "tests/support/test_support.h"

namespace readertest {

// A video payload of the given size filled with the byte n.
inline Bytes framePayload(int n, std::size_t size = 16) {
    return Bytes(size, static_cast<std::uint8_t>(n));
}

// A PCM payload of frames frames, every sample equal to value.
inline Bytes pcmPayload(int value, int frames = 4, int channels = 2) {
    return encodePcmPayload(std::vector<std::int16_t>(static_cast<std::size_t>(frames * channels),
                                                      static_cast<std::int16_t>(value)),
                            channels);
}

inline Bytes header(const AudioFormat& format = defaultAudioFormat) {
    return streamHeaderPayload(format);
}

inline constexpr AudioFormat pcmStereo{2, 22050, 16, audioCodecPcm};

struct Reader {
    std::unique_ptr<PlayerConfig> cfg = std::make_unique<PlayerConfig>();
    std::unique_ptr<PlayerContext> ctx = std::make_unique<PlayerContext>();
    PlayerContext* c = ctx.get();

    Reader() { ctx->config = cfg.get(); }
    ~Reader() {
        readerRelease(c);
        if ((cfg->flags & callerFile) != 0 && cfg->file != nullptr) mmioClose(cfg->file, 0);
    }

    LONG load(const ChunkWriter& movie, DWORD flags = 0, LONG track = 0) {
        cfg->flags = flags;
        cfg->track = track;
        std::string path = qztest::writeScratchFile("movie.qz", movie.bytes());
        return readerLoad(path.c_str(), c);
    }

    // Loads with a file opened by the caller, which the test may then read chunk by chunk.
    LONG loadOpen(const ChunkWriter& movie, DWORD flags = 0, LONG track = 0) {
        std::string path = qztest::writeScratchFile("movie.qz", movie.bytes());
        cfg->file = mmioOpenA(path.data(), nullptr, 0);
        cfg->flags = flags | callerFile;
        cfg->track = track;
        return readerLoad(path.c_str(), c);
    }

    // Results of readChunk up to and including the end of data.
    std::vector<LONG> readToEnd() {
        std::vector<LONG> results;
        do results.push_back(readChunk(c));
        while (results.back() != readEnd && results.size() < 100);
        return results;
    }

    // The payload of the next queued frame, its slot freed afterwards.
    Bytes takeFrame(LONG* type = nullptr) {
        FrameEntry& entry = c->frameTable[c->frameReadIndex % queueSlots];
        Bytes payload(entry.payload, entry.payload + entry.payloadBytes);
        if (type != nullptr) *type = entry.type;
        InterlockedIncrement(&c->frameReadIndex);
        InterlockedDecrement(&c->framesBuffered);
        entry.payloadBytes = 0;
        sharedStore(entry.payload, static_cast<BYTE*>(nullptr));
        return payload;
    }

    // The next queued audio block, its slot freed afterwards.
    AudioEntry takeAudio() {
        AudioEntry& slot = c->audioTable[c->audioReadIndex % queueSlots];
        AudioEntry entry = slot;
        InterlockedIncrement(&c->audioReadIndex);
        InterlockedDecrement(&c->audioBuffered);
        sharedStore(slot.samples, static_cast<BYTE*>(nullptr));
        return entry;
    }

    // The left sample of the first frame of the next audio block (blocks are tagged by it).
    int takeAudioValue() {
        AudioEntry entry = takeAudio();
        if (entry.bytes < 4) return -1;
        return static_cast<std::int16_t>(entry.samples[0] | entry.samples[1] << 8);
    }
};

} // namespace readertest
