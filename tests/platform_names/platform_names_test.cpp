// The platform names the stand-in defines against what the real Windows headers say: every
// constant's value and every record's size, alignment and member offsets. real_headers.txt
// holds the real headers' answers; the Windows build of this test (run under Wine) checks that
// file against the real headers, the native builds check the stand-in against it.
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/win32.h"

namespace {

std::string describePlatform() {
    std::ostringstream out;
#define QZ_CONSTANT(name) out << #name << ' ' << (long long)(name) << '\n';
#include "tests/platform_names/constants.inc"
#undef QZ_CONSTANT
#define QZ_RECORD(record)                                                                          \
    out << #record << " size " << sizeof(record) << " align " << alignof(record) << '\n';
#define QZ_FIELD(record, member)                                                                   \
    out << "  " #record "." #member " " << offsetof(record, member) << " size "                    \
        << sizeof(static_cast<record*>(nullptr)->member) << '\n';
#include "tests/platform_names/records.inc"
#undef QZ_RECORD
#undef QZ_FIELD
    return out.str();
}

TEST(PlatformNames, ValuesAndLayoutsMatchTheRealHeaders) {
    const std::filesystem::path expectedPath =
        std::filesystem::path(__FILE__).parent_path() / "real_headers.txt";
    std::ifstream in(expectedPath);
    ASSERT_TRUE(in) << expectedPath;
    std::istringstream actual(describePlatform());
    std::string want, have;
    int line = 0, differences = 0;
    while (std::getline(in, want)) {
        ++line;
        if (!want.empty() && want.back() == '\r') want.pop_back();
        if (!std::getline(actual, have)) have = "(nothing)";
        if (want != have && ++differences <= 20)
            ADD_FAILURE() << "line " << line << ": the real headers say \"" << want
                          << "\", this build \"" << have << "\"";
    }
    EXPECT_EQ(differences, 0);
    EXPECT_FALSE(std::getline(actual, have)) << "names missing from real_headers.txt: " << have;
}

} // namespace
