// The command line: options in table order, the usage text, and the statistics line.
#include "frontend/options.h"

#include <filesystem>

#include <cctype>
#include <climits>
#include <cstdio>

const char* const usageText = "usage: playqz [<options>] videofile\n"
                              "<options> = \n"
                              " -xres <n>           video mode resolution (x)\n"
                              " -yres <n>           video mode resolution (y)\n"
                              " -gamma <n>          gamma level (default:100%))\n"
                              " -doublex            horizontal x2\n"
                              " -doubley            line doubled\n"
                              " -skipy              line skipped\n"
                              " -xsize <n>          stretch movie to x size <n>\n"
                              " -ysize <n>          stretch movie to y size <n>\n"
                              " -loop               play looping\n"
                              " -window             don't use fullscreen\n"
                              " -8                   8bit(krt only)\n"
                              " -16                 16bit(all formats)\n"
                              " -32                 32bit(all formats)\n"
                              " -nodoublebuffer     Don't double buffer\n"
                              " -software           Disable YUV hardware acceleration\n"
                              " -noaudio            disable audio\n"
                              " -fps <n>            frame rate <n> of a movie without audio\n"
                              " -track <n>          play audio track <n>\n"
                              " -volume <n>         sound volume <n>% (default:100%)\n"
                              " -start <seconds>    start playing <seconds> into the movie\n"
                              " -ddraw <n>          direct draw device <n>\n"
                              " -verbose            output more info.\n";

namespace {

enum class Arg { none, number };

struct OptionEntry {
    const char* name;
    Arg arg;
    void (*apply)(FrontendSettings& s, int value);
};

// Compared in this order against the whole argument.
const OptionEntry optionTable[] = {
    {"-xres", Arg::number, [](FrontendSettings& s, int v) { s.modeWidth = v; }},
    {"-yres", Arg::number, [](FrontendSettings& s, int v) { s.modeHeight = v; }},
    {"-xsize", Arg::number,
     [](FrontendSettings& s, int v) {
         s.stretchWidth = v;
         s.stretchXWanted = true;
     }},
    {"-ysize", Arg::number,
     [](FrontendSettings& s, int v) {
         s.stretchHeight = v;
         s.stretchYWanted = true;
     }},
    {"-gamma", Arg::number, [](FrontendSettings& s, int v) { s.gammaSetting = v; }},
    {"-doublex", Arg::none, [](FrontendSettings& s, int) { s.doubleXWanted = true; }},
    {"-doubley", Arg::none, [](FrontendSettings& s, int) { s.doubleYWanted = true; }},
    {"-skipy", Arg::none, [](FrontendSettings& s, int) { s.skipYWanted = true; }},
    {"-loop", Arg::none, [](FrontendSettings& s, int) { s.loopWanted = true; }},
    {"-window", Arg::none, [](FrontendSettings& s, int) { s.windowed = true; }},
    {"-nodoublebuffer", Arg::none, [](FrontendSettings& s, int) { s.doubleBuffered = false; }},
    {"-noaudio", Arg::none, [](FrontendSettings& s, int) { s.noAudio = true; }},
    {"-fps", Arg::number, [](FrontendSettings& s, int v) { s.framesPerSecond = v; }},
    {"-track", Arg::number,
     [](FrontendSettings& s, int v) {
         s.trackSetting = v;
         s.trackWanted = true;
     }},
    {"-volume", Arg::number, [](FrontendSettings& s, int v) { s.volumeSetting = v; }},
    {"-start", Arg::number, [](FrontendSettings& s, int v) { s.startSeconds = v; }},
    {"-ddraw", Arg::number, [](FrontendSettings& s, int v) { s.deviceNumber = v; }},
    {"-verbose", Arg::none, [](FrontendSettings& s, int) { s.verbose = true; }},
    {"-software", Arg::none, [](FrontendSettings& s, int) { s.softwareOnly = true; }},
    {"-32", Arg::none, [](FrontendSettings& s, int) { s.modeDepth = 32; }},
    {"-16", Arg::none, [](FrontendSettings& s, int) { s.modeDepth = 16; }},
    {"-8", Arg::none, [](FrontendSettings& s, int) { s.modeDepth = 8; }},
};

bool isHelp(const std::string& arg) {
    return arg == "-h" || arg == "-?" || arg == "--help";
}

} // namespace

int parseDecimal(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    return static_cast<int>(value);
}

bool hasDecimalDigits(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

// Options may be written with '/', but on systems whose absolute paths start with '/' such an
// argument is the movie when it names a path ("/tmp/demo.qz") or an existing file; a plain
// "/loop" stays an (unknown) option.
bool isAbsolutePath(const std::string& arg) {
    if (arg.size() < 2 || arg[0] != '/') return false;
    if (arg.find('/', 1) != std::string::npos) return true;
    std::error_code error;
    return std::filesystem::is_regular_file(arg, error);
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine parsed;
    FrontendSettings& s = parsed.settings;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.empty() || (arg[0] != '-' && arg[0] != '/') || isAbsolutePath(arg)) {
            s.movieFile = arg;
            continue;
        }
        if (isHelp(arg)) {
            parsed.showUsage = true;
            continue;
        }
        if (arg == "--version") {
            parsed.showVersion = true;
            continue;
        }
        const OptionEntry* match = nullptr;
        for (const OptionEntry& entry : optionTable) {
            if (arg == entry.name) {
                match = &entry;
                break;
            }
        }
        if (match == nullptr) {
            parsed.unknownOptions.push_back(arg);
            parsed.showUsage = true;
            continue;
        }
        int value = 0;
        if (match->arg == Arg::number) {
            // A number option with nothing after it, or with no digits, cannot be honoured:
            // taking 0 would quietly play with a setting nobody asked for.
            const std::string name = match->name;
            if (i + 1 >= args.size()) {
                parsed.badNumbers.push_back("playqz: " + name + " needs a number after it");
                continue;
            }
            const std::string& text = args[++i];
            if (!hasDecimalDigits(text)) {
                parsed.badNumbers.push_back("playqz: " + name + " needs a number, not \"" + text +
                                            "\"");
                continue;
            }
            value = parseDecimal(text);
        }
        match->apply(s, value);
    }
    if (args.empty() || (s.movieFile.empty() && !parsed.showVersion)) parsed.showUsage = true;
    return parsed;
}

DWORD playerFlagsFor(const FrontendSettings& s) {
    DWORD flags = reservedFlag200000 | callerBufferSize;
    if (s.doubleXWanted) flags |= doubleX;
    if (s.doubleYWanted) flags |= doubleY;
    if (s.skipYWanted) flags = (flags & ~doubleY) | skipY;
    if (s.stretchXWanted) flags |= stretchX;
    if (s.stretchYWanted) flags |= stretchY;
    if (s.loopWanted) flags |= loopPlay;
    flags |= centreX | centreY | directToSurface | waitVerticalBlank | ownThread | gammaGiven;
    if (!s.noAudio) flags |= audioOn;
    if (s.trackWanted) flags |= trackGiven;
    if (!s.windowed) {
        flags |= fullScreen | reservedFlag1000000;
        if (s.doubleBuffered) flags |= pageFlip;
    }
    if (!s.softwareOnly) flags |= hardwareYuv;
    return flags;
}

DWORD allowedModesFor(const FrontendSettings& s) {
    return s.softwareOnly ? modeRgb : modeRgb | modeOverlay | modeStretchBlit;
}

std::string statisticsLine(DWORD elapsedMs, DWORD frameCount) {
    const auto ms = static_cast<LONG>(elapsedMs);
    const double fps = ms != 0 ? frameCount * 1000.0 / ms : 0.0;
    char line[128];
    std::snprintf(line, sizeof line, "%d.%02d seconds, %d frames, %3f fps\n",
                  static_cast<int>(elapsedMs / 1000), static_cast<int>(elapsedMs % 1000 / 10),
                  static_cast<int>(frameCount), fps);
    return line;
}
