// Runs the playqz program as a user would, on SDL's invisible display and sound drivers.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace playqztest {

inline const std::string banner = "Play QZ v1.60 - QZ/QZ2/KRT/BSX Player\n"
                                  "Command-line movie player for QZ, QZ2, KRT and BSX files\n\n";

inline const std::string usage = "usage: playqz [<options>] videofile\n"
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

// Runs playqz with args. A run that has not ended after a generous minute is killed and
// reported with the exit code 124, so that a hang fails the test instead of stalling it.
inline qztest::CommandResult playqz(const std::vector<std::string>& args) {
    // SDL's invisible drivers stand in for a display and a sound card, so that these runs
    // behave the same with or without a screen.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // Software drawing: the GL rasteriser's own threads are invisible to the thread checker.
    setenv("SDL_RENDER_DRIVER", "software", 1);
    setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
    // Under the thread checker, races inside the system's graphics libraries (their own
    // threads) are not ours to mend; every other race fails the run.
    setenv("TSAN_OPTIONS", "suppressions=" QZ_TSAN_SUPPRESSIONS, 1);
    std::vector<std::string> limited{"60", QZ_PLAYQZ_PATH};
    limited.insert(limited.end(), args.begin(), args.end());
    return qztest::runProgram("timeout", limited);
}

} // namespace playqztest
