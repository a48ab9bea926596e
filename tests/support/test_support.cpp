#include "tests/support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

namespace qztest {

namespace {
std::string scratchDir() {
    const char* env = std::getenv("QZ_TEST_TMP");
    std::filesystem::path dir =
        env != nullptr ? env : std::filesystem::temp_directory_path() / "qztest";
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
} // namespace

std::string scratchPath(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string prefix =
        info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "global";
    return scratchDir() + "/" + prefix + "." + std::to_string(getpid()) + "." + name;
}

std::string writeScratchFile(const std::string& name, const Bytes& bytes) {
    std::string path = scratchPath(name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
}

Bytes readFileBytes(const std::string& path) {
    std::string text = readAll(path);
    return Bytes(text.begin(), text.end());
}

} // namespace qztest
