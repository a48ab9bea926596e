// Runs the programs under test (POSIX only: the cross-built tests have no use for it).
#include "tests/support/test_programs.h"
#include "tests/support/test_support.h"

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace qztest {

namespace {
std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
} // namespace

pid_t startProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                   const std::string& outPath, const std::string& errPath) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = open("/dev/null", O_RDONLY);
    dup2(out, 1);
    dup2(err, 2);
    dup2(in, 0);
    for (const std::string& entry : env) putenv(const_cast<char*>(entry.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

CommandResult runProgram(const std::string& program, const std::vector<std::string>& args) {
    std::string outPath = scratchPath("stdout.txt");
    std::string errPath = scratchPath("stderr.txt");
    CommandResult result;
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = startProgram(argv, {}, outPath, errPath);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readAll(outPath);
    result.err = readAll(errPath);
    return result;
}

} // namespace qztest
