// The front end's settings and the command line that sets them.
#pragma once

#include <string>
#include <vector>

#include "engine/player.h"

struct FrontendSettings {
    int modeWidth = 640;
    int modeHeight = 480;
    int modeDepth = 16;
    int gammaSetting = 100;
    int volumeSetting = 100; // percent of full amplitude; the keys change it while playing
    int stretchWidth = 0;
    bool stretchXWanted = false;
    int stretchHeight = 0;
    bool stretchYWanted = false;
    bool doubleXWanted = false;
    bool doubleYWanted = false;
    bool skipYWanted = false;
    bool loopWanted = false;
    bool windowed = false;
    bool doubleBuffered = true;
    bool noAudio = false;
    int framesPerSecond = 0; // movies without audio; 0: one frame a vertical blank
    int trackSetting = 0;
    bool trackWanted = false;
    int startSeconds = 0; // where playing starts; 0: at the start
    int deviceNumber = 1;
    bool verbose = false;
    bool softwareOnly = false;
    std::string movieFile;
};

struct ParsedCommandLine {
    FrontendSettings settings;
    // Options no table entry matched, in the order given; each earns a message.
    std::vector<std::string> unknownOptions;
    // Messages for number options given no number, in the order given.
    std::vector<std::string> badNumbers;
    bool showUsage = false;
    bool showVersion = false; // --version: the version line, and nothing played
};

inline constexpr const char* bannerText =
    "Play QZ v1.60 - QZ/QZ2/KRT/BSX Player\n"
    "Command-line movie player for QZ, QZ2, KRT and BSX files\n"
    "\n";
extern const char* const usageText;

// Reads args (the arguments after the program name) on top of the defaults.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);
// A decimal number the C way: leading white space, optional sign, digits; none give 0. Values
// beyond int are held at its limits.
int parseDecimal(const std::string& text);
// Whether text holds a decimal number parseDecimal reads: after white space and a sign, a digit.
bool hasDecimalDigits(const std::string& text);
// The flags word a play starts with.
DWORD playerFlagsFor(const FrontendSettings& settings);
// The display modes a play permits.
DWORD allowedModesFor(const FrontendSettings& settings);
// The verbose statistics line for a movie's play time and frame slots.
std::string statisticsLine(DWORD elapsedMs, DWORD frameCount);
