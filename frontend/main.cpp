// playqz: plays one movie file full screen (or in a window) and, on request, reports how fast.
#include <cstdio>
#include <string>
#include <vector>

#include "frontend/devices.h"
#include "frontend/options.h"
#include "frontend/play.h"

int main(int argc, char** argv) {
    std::fputs(bannerText, stdout);
    std::fflush(stdout);

    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedCommandLine parsed = parseCommandLine(args);
    for (const std::string& option : parsed.unknownOptions)
        std::fprintf(stderr, "unknown option %s\n", option.c_str());
    if (parsed.showUsage) {
        std::fputs(usageText, stdout);
        return 0;
    }
    const FrontendSettings& settings = parsed.settings;

    if (!createPlayerWindow()) return 0;
    setupSound(settings);
    DisplayObjects display;
    if (!settings.windowed) {
        const int failure = setupDisplay(settings, &display);
        if (failure != 0) return failure;
        // Lets a freshly set display mode settle before the first frame.
        if (display.primarySurface != nullptr) Sleep(200);
    }

    playMovie(settings, display);

    releaseSound();
    if (!settings.windowed) releaseDisplay(&display);
    if (settings.verbose) {
        const PlayerConfig& last = playerRecord();
        std::fputs(statisticsLine(last.elapsedMs, last.frameCount).c_str(), stdout);
    }
    return 0;
}
