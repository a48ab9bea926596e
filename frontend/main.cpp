// playqz: plays one movie file full screen (or in a window) and, on request, reports how fast.
#include <cstdio>
#include <string>
#include <vector>

#include "frontend/devices.h"
#include "frontend/options.h"
#include "frontend/startup.h"

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

    std::string failure;
    if (!startWindowSystem(failure)) {
        std::fprintf(stderr, "playqz: no display to show the movie on (%s)\n", failure.c_str());
        return 1;
    }
    // The window lives until the process ends, as the platform's windows do.
    return runPlayer(settings);
}
