// A private X server for the end-to-end tests: Xvfb on a free display number, programs started
// on it, keys sent with xdotool, and the screen read back with xwd and ImageMagick.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace xtest {

// True when every named program is found on PATH.
bool programsInstalled(const std::vector<std::string>& names, std::string* missing);

// A program running in the background with its output in files.
struct Background {
    pid_t pid = -1;
    std::string outPath;
    std::string errPath;
    // Waits up to limitMs for the program to end: its exit code, or -1 while it runs.
    int wait(int limitMs);
    bool running();
    void kill();
};

class XSession {
  public:
    // Starts Xvfb with one screen of width x height x 24 bits; check started().
    XSession(int width, int height);
    ~XSession();
    bool started() const { return display_ >= 0; }
    std::string display() const { return ":" + std::to_string(display_); }

    // Starts program with args on this display; env entries are NAME=value.
    Background start(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& env, const std::string& logName);
    // Runs a shell command line on this display and returns its exit status.
    int run(const std::string& command);
    // The id of the first window with this name, waiting up to limitMs; empty when none.
    std::string findWindow(const std::string& name, int limitMs);
    // The rectangle (x, y, width, height) of the screen as 8-bit RGB triples, scaled to
    // outWidth x outHeight; empty on failure.
    std::vector<unsigned char> grab(int x, int y, int width, int height, int outWidth,
                                    int outHeight);

  private:
    int display_ = -1;
    pid_t server_ = -1;
};

} // namespace xtest
