// The headless sound output, and the choice of output by back end. Headless devices play on no
// card: the headless clock moves their cursors with real time.
#include "platform/standin/dsound_output.h"

namespace qzplat::detail {

namespace {

class HeadlessOutput final : public SoundOutput {
  public:
    bool acquire() override { return true; }
    void release() override {}
    void followPrimaryRate(DWORD) override {}
    bool movesCursors() const override { return false; }
};

} // namespace

SoundOutput& headlessSoundOutput() {
    static HeadlessOutput output;
    return output;
}

SoundOutput& soundOutputOf(SoundBackEnd backEnd) {
    return backEnd == SoundBackEnd::sdl ? sdlSoundOutput() : headlessSoundOutput();
}

} // namespace qzplat::detail
