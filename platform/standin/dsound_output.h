// Where the stand-in DirectSound's sound goes: one back end per file behind this interface, so
// that the DirectSound objects work the same whether a sound card plays them or nothing does.
#pragma once

#include <cstdint>

#include "platform/standin/dsound_control.h"

namespace qzplat::detail {

struct SoundBuffer;

// What a back end keeps for one buffer (the SDL back end: its rate converter). The buffer owns
// it and frees it with itself; the back end makes and remakes it.
struct SoundOutputData {
    virtual ~SoundOutputData() = default;
};

class SoundOutput {
  public:
    virtual ~SoundOutput() = default;
    // Takes a reference on the output for a new device; false when there is no sound card.
    // Called without the sound lock held, as are release and followPrimaryRate.
    virtual bool acquire() = 0;
    // Drops a device's reference; the last one closes the output.
    virtual void release() = 0;
    // Runs an open output at the rate a primary buffer's new format asks for, as setting the
    // primary format does on the platform.
    virtual void followPrimaryRate(DWORD rate) = 0;
    // True when the back end moves the play cursors of its devices' buffers itself; false
    // leaves them to the headless clock.
    virtual bool movesCursors() const = 0;
};

// The output of a back end (the same object for every device on it).
SoundOutput& soundOutputOf(SoundBackEnd backEnd);
SoundOutput& headlessSoundOutput();
SoundOutput& sdlSoundOutput();

// SDL reports that its audio device which (0: whichever card is open) has gone: the SDL output
// closes the card and its buffers play on by the headless clock. Called by the window pump.
void removeSdlSoundCard(std::uint32_t which);
// True while the SDL output holds a sound card open.
bool sdlSoundCardOpen();

} // namespace qzplat::detail
