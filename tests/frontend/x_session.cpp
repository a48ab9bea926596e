// The private X server and the programs around it.
#include "tests/frontend/x_session.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/support/test_programs.h"
#include "tests/support/test_support.h"

namespace xtest {

namespace {

constexpr int firstDisplay = 70;
constexpr int displayTries = 60;
constexpr int serverStartMs = 15000;

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

bool programsInstalled(const std::vector<std::string>& names, std::string* missing) {
    for (const std::string& name : names) {
        if (std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) != 0) {
            if (missing) *missing = name;
            return false;
        }
    }
    return true;
}

int Background::wait(int limitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        int status = 0;
        if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (pid <= 0 || std::chrono::steady_clock::now() > end) return -1;
        pause(20);
    }
}

bool Background::running() {
    if (pid <= 0) return false;
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

void Background::kill() {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

XSession::XSession(int width, int height) {
    // Display numbers are shared by every X server on the machine: take one with no lock file
    // and no socket, and move on when the server still fails to come up there.
    const int start = firstDisplay + int(getpid() % 200);
    for (int i = 0; i < displayTries && display_ < 0; ++i) {
        int number = start + i;
        std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (exists("/tmp/.X" + std::to_string(number) + "-lock") || exists(socket)) continue;
        std::string log = qztest::scratchPath("xvfb.log");
        pid_t server = qztest::startProgram(
            {"Xvfb", ":" + std::to_string(number), "-screen", "0",
             std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp"},
            {}, log, log);
        for (int waited = 0; waited < serverStartMs; waited += 50) {
            if (exists(socket)) break;
            if (waitpid(server, nullptr, WNOHANG) == server) break;
            pause(50);
        }
        if (exists(socket) && waitpid(server, nullptr, WNOHANG) == 0) {
            display_ = number;
            server_ = server;
            // The socket comes before the server takes clients: wait until one is served.
            for (int waited = 0; waited < serverStartMs; waited += 100) {
                if (run("xdotool getdisplaygeometry >/dev/null 2>&1") == 0) break;
                pause(100);
            }
        } else {
            ::kill(server, SIGKILL);
            waitpid(server, nullptr, 0);
        }
    }
}

XSession::~XSession() {
    if (server_ > 0) {
        ::kill(server_, SIGTERM);
        waitpid(server_, nullptr, 0);
    }
}

Background XSession::start(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& env, const std::string& logName) {
    Background bg;
    bg.outPath = qztest::scratchPath(logName + ".out");
    bg.errPath = qztest::scratchPath(logName + ".err");
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> fullEnv{"DISPLAY=" + display()};
    fullEnv.insert(fullEnv.end(), env.begin(), env.end());
    bg.pid = qztest::startProgram(argv, fullEnv, bg.outPath, bg.errPath);
    return bg;
}

int XSession::run(const std::string& command) {
    return std::system(("DISPLAY=" + display() + " " + command).c_str());
}

std::string XSession::findWindow(const std::string& name, int limitMs) {
    std::string path = qztest::scratchPath("window-id.txt");
    for (int waited = 0; waited <= limitMs; waited += 100) {
        if (run("xdotool search --name '" + name + "' > " + path + " 2>/dev/null") == 0) {
            std::ifstream in(path);
            std::string id;
            if (in >> id) return id;
        }
        pause(100);
    }
    return {};
}

std::vector<unsigned char> XSession::grab(int x, int y, int width, int height, int outWidth,
                                          int outHeight) {
    std::string path = qztest::scratchPath("grab.rgb");
    std::ostringstream command;
    command << "xwd -root -silent | convert xwd:- -crop " << width << "x" << height << "+" << x
            << "+" << y << " +repage -resize " << outWidth << "x" << outHeight
            << "! -depth 8 rgb:" << path;
    if (run(command.str()) != 0) return {};
    Bytes bytes = qztest::readFileBytes(path);
    if (bytes.size() != std::size_t(outWidth) * outHeight * 3) return {};
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

} // namespace xtest
