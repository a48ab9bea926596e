// The manual pages against the programs: every option the programs' own help lists, and every
// qztool command, is described in its page, and the pages carry the version the programs print.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "tests/support/test_support.h"

namespace {

std::string readPage(const std::string& name) {
    std::ifstream in(std::string(QZ_DIST_DIR) + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// An option as roff writes it: every hyphen escaped.
std::string roff(const std::string& option) {
    return std::regex_replace(option, std::regex("-"), "\\-");
}

// The options a help text lists: words starting with a hyphen at the start of its lines.
std::vector<std::string> listedOptions(const std::string& help) {
    std::vector<std::string> options;
    static const std::regex line(R"(^\s+(-[-a-z0-9?]+)(,(--?[-a-z0-9]+))?)");
    std::istringstream in(help);
    for (std::string text; std::getline(in, text);) {
        std::smatch m;
        if (!std::regex_search(text, m, line)) continue;
        options.push_back(m[1].str());
        if (m[3].matched) options.push_back(m[3].str());
    }
    return options;
}

} // namespace

TEST(ManPages, EveryOptionAndCommandIsDescribedWithTheProgramsVersion) {
    const std::string playqzPage = readPage("playqz.1");
    const std::string qztoolPage = readPage("qztool.1");
    ASSERT_FALSE(playqzPage.empty());
    ASSERT_FALSE(qztoolPage.empty());

    const qztest::CommandResult usage = qztest::runProgram(QZ_PLAYQZ_PATH, {"-h"});
    const std::vector<std::string> playqzOptions = listedOptions(usage.out);
    EXPECT_GE(playqzOptions.size(), 20u);
    for (const std::string& option : playqzOptions)
        EXPECT_NE(playqzPage.find(roff(option)), std::string::npos) << "playqz.1 lacks " << option;

    const qztest::CommandResult top = qztest::runProgram(QZ_QZTOOL_PATH, {"--help"});
    static const std::regex command(R"(^\s+([a-z]+)\s{2,})");
    std::istringstream lines(top.out.substr(top.out.find("ubcommands")));
    int commands = 0;
    for (std::string text; std::getline(lines, text);) {
        std::smatch m;
        if (!std::regex_search(text, m, command)) continue;
        const std::string name = m[1].str();
        ++commands;
        EXPECT_NE(qztoolPage.find(".SS " + name), std::string::npos) << "qztool.1 lacks " << name;
        const qztest::CommandResult help = qztest::runProgram(QZ_QZTOOL_PATH, {name, "--help"});
        for (const std::string& option : listedOptions(help.out)) {
            if (option == "-h" || option == "--help") continue;
            EXPECT_NE(qztoolPage.find(roff(option)), std::string::npos)
                << "qztool.1 lacks " << name << " " << option;
        }
    }
    EXPECT_EQ(commands, 5);

    for (const auto& [program, page] :
         {std::pair{std::string(QZ_PLAYQZ_PATH), &playqzPage}, {QZ_QZTOOL_PATH, &qztoolPage}}) {
        const qztest::CommandResult version = qztest::runProgram(program, {"--version"});
        EXPECT_EQ(version.exitCode, 0) << program;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(version.out, m, std::regex(R"((playqz|qztool) \d+\.\d+)")))
            << version.out;
        EXPECT_NE(page->find("\"" + m[0].str() + "\""), std::string::npos) << m[0].str();
    }
}
