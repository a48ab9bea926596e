// playqz: plays one movie file full screen (or in a window) and, on request, reports how fast.
#include <cstdio>
#include <string>
#include <vector>

#include "frontend/devices.h"
#include "frontend/movie_check.h"
#include "frontend/options.h"
#include "frontend/startup.h"

int main(int argc, char** argv) {
    std::fputs(bannerText, stdout);
    std::fflush(stdout);

    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedCommandLine parsed = parseCommandLine(args);
    for (const std::string& option : parsed.unknownOptions)
        std::fprintf(stderr, "unknown option %s\n", option.c_str());
    for (const std::string& message : parsed.badNumbers)
        std::fprintf(stderr, "%s\n", message.c_str());
    // Asking for help (or giving no movie) is no error; a command line that cannot be
    // honoured is.
    const int usageExit = parsed.unknownOptions.empty() && parsed.badNumbers.empty() ? 0 : 1;
    if (parsed.showVersion && usageExit == 0 && !parsed.showUsage) {
        std::printf("playqz %s\n", playerVersion());
        return 0;
    }
    if (parsed.showUsage) std::fputs(usageText, stdout);
    if (parsed.showUsage || usageExit != 0) return usageExit;
    const FrontendSettings& settings = parsed.settings;

    // Checked before any window or device is touched, so that the answer is the same with or
    // without a display, and comes at once.
    const std::string problem = movieFileProblem(settings.movieFile);
    if (!problem.empty()) {
        std::printf("Failed to start movie:%s (check filename?)\n", settings.movieFile.c_str());
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }

    std::string failure;
    if (!startWindowSystem(failure)) {
        std::fprintf(stderr, "playqz: no display to show the movie on (%s)\n", failure.c_str());
        return 1;
    }
    // The window lives until the process ends, as the platform's windows do.
    return runPlayer(settings);
}
