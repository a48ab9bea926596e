// The demo movies: a looping player goes back to the first audio chunk, which comes after the
// first frame, so later laps start with the second frame. It stands alone like the first: every
// lap shows the same pictures.
#include <gtest/gtest.h>

#include <vector>

#include "encoder/dor_encoder.h"
#include "encoder/movie_writer.h"
#include "format/chunk_ids.h"
#include "tests/support/test_support.h"
#include "tools/demo_dor.h"
#include "tools/demo_krt.h"
#include "tools/demo_movie.h"

namespace {

// The ids of a movie file's first video chunks, in file order.
std::vector<std::uint32_t> firstVideoIds(const Bytes& file, std::size_t count) {
    std::vector<std::uint32_t> ids;
    for (std::size_t at = 0; at + 8 <= file.size() && ids.size() < count;) {
        const std::uint32_t id = file[at] | (file[at + 1] << 8) | (file[at + 2] << 16) |
                                 (std::uint32_t{file[at + 3]} << 24);
        const std::size_t size = file[at + 4] | (file[at + 5] << 8) | (file[at + 6] << 16) |
                                 (std::size_t{file[at + 7]} << 24);
        if (size < 8) break;
        if (id != chunkId("SCHl") && id != chunkId("SCDl")) ids.push_back(id);
        at += size;
    }
    return ids;
}

} // namespace

TEST(DemoLaps, TheFramesLapsStartWithStandAlone) {
    const Movie movie = qztool::demoMovie();
    ASSERT_EQ(movieLapStartFrame(movie), 1u);
    for (std::size_t f = 0; f < 3; ++f) {
        const Bytes& payload = movie.video[f].payload;
        ASSERT_EQ(movie.video[f].id, chunkId("MQZf"));
        const int macroblocks = ((payload[0] | payload[1] << 8) + 15) / 16 *
                                (((payload[2] | payload[3] << 8) + 15) / 16);
        int skipped = 0;
        std::size_t pos = 8;
        for (int m = 0; m < macroblocks && pos < payload.size(); ++m) {
            const int b = payload[pos];
            skipped += !(b == 3 || b == 6 || b == 12 || b >= 13);
            pos += 1 + static_cast<std::size_t>(b);
        }
        // The third frame still skips what the second left unchanged.
        if (f < 2)
            EXPECT_EQ(skipped, 0) << f;
        else
            EXPECT_GT(skipped, 0);
    }

    std::string message;
    const std::string krt = qztest::scratchPath("laps_krt.qz");
    ASSERT_TRUE(qztool::writeKrtDemoMovie(krt, message)) << message;
    EXPECT_EQ(firstVideoIds(qztest::readFileBytes(krt), 3),
              (std::vector<std::uint32_t>{chunkId("KRTk"), chunkId("KRTk"), chunkId("KRTf")}));
    const std::string dor = qztest::scratchPath("laps_dor.qz");
    ASSERT_TRUE(qztool::writeDorDemoMovie(dor, message)) << message;
    EXPECT_EQ(
        firstVideoIds(qztest::readFileBytes(dor), 3),
        (std::vector<std::uint32_t>{dorChunkId(DorFrameKind::key), dorChunkId(DorFrameKind::key),
                                    dorChunkId(DorFrameKind::motion)}));
}
