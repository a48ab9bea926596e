#include "video/video_state.h"

#include "video/dor/dor_decoder.h"
#include "video/krt/krt_decoder.h"

void releaseVideoState(VideoState& video) {
    releaseKrtState(&video);
    releaseDorPictures(&video);
}
