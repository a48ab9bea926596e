// Control of the stand-in DirectSound for tests and the players: which back end moves the play
// cursors, what the "driver" reports, faults to inject, and what the loudspeaker heard.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/standin/dsound_types.h"

namespace qzplat {

// Where the play cursors are moved. The headless clock advances every playing buffer at its
// frequency with real time and records every byte it passes; SDL plays them on the sound card.
enum class SoundBackEnd { headless, sdl };
// Chooses the back end for DirectSound objects made from now on; headless is the default.
void setSoundBackEnd(SoundBackEnd backEnd);

// What the sound driver reports.
struct SoundProfile {
    DWORD caps = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT |
                 DSCAPS_PRIMARY16BIT | DSCAPS_CONTINUOUSRATE | DSCAPS_EMULDRIVER |
                 DSCAPS_SECONDARYMONO | DSCAPS_SECONDARYSTEREO | DSCAPS_SECONDARY8BIT |
                 DSCAPS_SECONDARY16BIT;
    DWORD primaryBufferBytes = 32768; // what GetCaps reports for a primary buffer
    // The headless cursor moves in whole steps of this many bytes, as a card that takes the
    // buffer a period at a time does (0: every sample frame).
    DWORD cursorStepBytes = 0;
};
void setSoundProfile(const SoundProfile& profile);
// Back to the headless back end, the default profile, no faults and no records; frees objects
// tests left behind.
void resetDirectSound();

// The next count calls fail with code (count 0 clears the fault). GetCaps counts the calls
// of both interfaces.
void failNextSoundCreate(HRESULT code = DSERR_NODRIVER, int count = 1);
void failNextSoundCooperativeLevel(HRESULT code = DSERR_ALLOCATED, int count = 1);
void failNextSoundBufferCreate(HRESULT code = DSERR_OUTOFMEMORY, int count = 1);
void failNextSoundGetCaps(HRESULT code = DSERR_GENERIC, int count = 1);
void failNextSoundPlay(HRESULT code = DSERR_GENERIC, int count = 1);
// The next count Locks fail with DSERR_BUFFERLOST; each leaves its buffer lost, so that every
// Lock fails until Restore is called.
void failNextSoundLocks(int count);
// Marks every secondary buffer lost, as another program taking the sound card would.
void loseSoundBuffers();
// Takes the SDL back end's sound card away, as unplugging it does once the window pump has
// seen SDL's removal event: the card is closed and every buffer on it plays on by the headless
// clock from where its cursor stands. Nothing changes on the headless back end, which has no
// card to lose.
void removeSoundCard();
// True while the SDL back end holds a sound card open.
bool soundCardOpen();

// What the loudspeaker heard of one secondary buffer: every byte its play cursor passed, in
// order, and when. Volume and pan are not applied.
struct HeardSound {
    // Bytes from first on passed at bytesPerSecond from startNs (steady clock).
    struct Segment {
        std::uint64_t first = 0;
        std::int64_t startNs = 0;
        double bytesPerSecond = 0;
    };
    WAVEFORMATEX format{};
    std::vector<BYTE> bytes; // the first 64 MiB; total counts every byte passed
    std::vector<Segment> segments;
    std::uint64_t total = 0;
    // Steady-clock nanoseconds at which byte index passed the cursor.
    std::int64_t timeOf(std::uint64_t index) const;
};
// One record per secondary buffer made since the last reset, in order of creation.
std::vector<HeardSound> heardSounds();
// Bytes the most recent secondary buffer's cursor has passed up to now (0 when none).
std::uint64_t soundBytesHeardNow();

// The format last set on a primary buffer (zeros when none was).
WAVEFORMATEX primarySoundFormat();

// Objects whose references have not all been released (for leak checks).
struct LiveSound {
    int devices = 0;
    int buffers = 0;
};
LiveSound liveSoundObjects();

} // namespace qzplat
