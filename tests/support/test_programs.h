// Starting programs under test in the background (POSIX only).
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace qztest {

// Starts argv[0] (looked up on PATH unless it holds a '/') with the env entries added, stdin
// from /dev/null and stdout and stderr into the two files; returns its process id.
pid_t startProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                   const std::string& outPath, const std::string& errPath);

} // namespace qztest
