// The KRT demo movie: five seconds of key and delta frames that our decoder takes whole, with a
// soundtrack chunk in every slot.
#include <gtest/gtest.h>

#include "format/chunk_ids.h"
#include "tests/support/test_support.h"
#include "tests/video/krt_test_support.h"
#include "tools/demo_krt.h"

TEST(KrtDemo, EveryFrameDecodes) {
    const std::string path = qztest::scratchPath("krt_demo.qz");
    std::string message;
    ASSERT_TRUE(qztool::writeKrtDemoMovie(path, message)) << message;
    const Bytes file = qztest::readFileBytes(path);
    krttest::KrtDecoder decoder;
    int keys = 0, deltas = 0, audio = 0;
    for (std::size_t at = 0; at + 8 <= file.size();) {
        const std::uint32_t id = file[at] | (file[at + 1] << 8) | (file[at + 2] << 16) |
                                 (std::uint32_t{file[at + 3]} << 24);
        const std::size_t size = file[at + 4] | (file[at + 5] << 8) | (file[at + 6] << 16) |
                                 (std::size_t{file[at + 7]} << 24);
        ASSERT_GE(size, 8u);
        ASSERT_LE(at + size, file.size());
        const krttest::ByteList payload(file.begin() + std::ptrdiff_t(at + 8),
                                        file.begin() + std::ptrdiff_t(at + size));
        if (id == chunkId("KRTk")) {
            ASSERT_EQ(decoder.key(payload), 1);
            EXPECT_EQ(decoder.ctx.krt.width, 320);
            EXPECT_EQ(decoder.ctx.krt.height, 240);
            ++keys;
        } else if (id == chunkId("KRTf")) {
            ASSERT_EQ(decoder.delta(payload), 1);
            // The stripes scroll: most blocks are copies.
            EXPECT_GT(decoder.ctx.krt.vectorCount, 0);
            ++deltas;
        } else if (id == chunkId("SCDl")) {
            ++audio;
        }
        at += size;
    }
    // Frames 0, 25 and 50, and frame 1, where every later lap of a looping player starts.
    EXPECT_EQ(keys, 4);
    EXPECT_EQ(deltas, 71);
    EXPECT_EQ(audio, 75);
}
