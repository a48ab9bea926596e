// Helpers shared by the test binaries: scratch files and running the programs.
#pragma once

#include <string>
#include <vector>

#include "format/container_writer.h"

// 1 in the sanitizer builds, where every run takes many times longer: tests that repeat a check
// many times repeat it fewer times there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QZ_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QZ_TEST_SANITIZED 1
#endif
#endif
#ifndef QZ_TEST_SANITIZED
#define QZ_TEST_SANITIZED 0
#endif

namespace qztest {

// A fresh path in the test scratch folder; name is made unique per test.
std::string scratchPath(const std::string& name);
// Writes bytes to a scratch file and returns its path.
std::string writeScratchFile(const std::string& name, const Bytes& bytes);
Bytes readFileBytes(const std::string& path);

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs a program with arguments (no shell), capturing standard output and error.
CommandResult runProgram(const std::string& program, const std::vector<std::string>& args);

} // namespace qztest
