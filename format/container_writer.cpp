#include "format/container_writer.h"

#include <cstdio>

#include "format/chunk_header.h"
#include "format/chunk_ids.h"
#include "format/stream_header.h"

void ChunkWriter::chunk(const char (&id)[5], const Bytes& payload) {
    chunkWithId(chunkId(id), payload);
}

void ChunkWriter::chunkWithId(std::uint32_t id, const Bytes& payload) {
    auto size = static_cast<std::uint32_t>(payload.size() + chunkHeaderBytes);
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
}

void ChunkWriter::raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

bool ChunkWriter::save(const std::string& path) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(bytes_.data(), 1, bytes_.size(), f) == bytes_.size();
    return std::fclose(f) == 0 && ok;
}

void appendTagRecord(Bytes& payload, std::uint8_t tag, std::int32_t value) {
    int length = 4;
    for (int n = 1; n <= 3; ++n) {
        std::int32_t low = -(1 << (8 * n - 1));
        std::int32_t high = (1 << (8 * n - 1)) - 1;
        if (value >= low && value <= high) {
            length = n;
            break;
        }
    }
    payload.push_back(tag);
    payload.push_back(static_cast<std::uint8_t>(length));
    auto bits = static_cast<std::uint32_t>(value);
    for (int i = length - 1; i >= 0; --i)
        payload.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

Bytes streamHeaderPayload(const AudioFormat& format) {
    // Four bytes the reader does not examine, a record before the 0xFD marker (stepped over),
    // the marker, the four format records and the 0x8A end tag.
    Bytes payload = {'P', 'T', 0, 0};
    appendTagRecord(payload, 0x06, 1);
    payload.push_back(streamTagStart);
    appendTagRecord(payload, streamTagChannels, format.channels);
    appendTagRecord(payload, streamTagCodec, format.codec);
    appendTagRecord(payload, streamTagRate, format.rate);
    appendTagRecord(payload, streamTagBits, format.bits);
    payload.push_back(streamTagEnd);
    payload.push_back(0);
    return payload;
}
