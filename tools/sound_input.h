// Sound for the movie's audio tracks: files read with libsndfile (WAV, FLAC, Ogg and the rest it
// reads), converted with libsamplerate to the movie's rate, and kept as mono or stereo 16-bit
// samples; or silence.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qztool {

// The word that names a silent track on the command line.
inline constexpr const char* silenceTrack = "silence";

struct SoundTrack {
    std::string name;
    int channels = 1;                  // 1 or 2
    std::vector<std::int16_t> samples; // interleaved when stereo; empty for silence
};

// The file's sample rate; false with a message naming the file when it cannot be read.
bool probeSoundRate(const std::string& path, int& rate, std::string& message);

// The rate the movie's tracks get for sources of up to sourceRate Hz at fps pictures a second:
// 11,025, 22,050 or 44,100 Hz, moved to a whole number of samples a picture, lowered while one
// picture's sound would crowd the player's audio queue. 0 when even the lowest would.
int movieAudioRate(int sourceRate, int fps);

// Reads the whole file at rate Hz: mono stays mono, more channels than two are mixed down to
// stereo. False with a message naming the file.
bool readSound(const std::string& path, int rate, SoundTrack& track, std::string& message);

// Converts samples of channels channels (interleaved) from fromRate to toRate Hz in place;
// false with a message naming name.
bool convertRate(const std::string& name, std::vector<std::int16_t>& samples, int channels,
                 int fromRate, int toRate, std::string& message);

// The sound of every track of a movie, decoded with the player's own decoders (mono tracks
// kept mono), each with its rate. False with a message naming the movie.
bool readMovieTracks(const std::string& path, std::vector<SoundTrack>& tracks,
                     std::vector<int>& rates, std::string& message);

} // namespace qztool
