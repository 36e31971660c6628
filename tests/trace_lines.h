#pragma once

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

// The lines of an exchange trace without their times, which differ from run to run.
inline std::vector<std::string> TraceLinesWithoutTimes(const std::string& trace) {
    static const std::regex time(R"(^ *[0-9]+\.[0-9]{3} ms  )");
    std::vector<std::string> lines;
    std::istringstream in(trace);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        EXPECT_TRUE(std::regex_search(line, m, time)) << "line without a time: " << line;
        lines.push_back(m.empty() ? line : m.suffix().str());
    }
    return lines;
}

// Compares a trace, line by line, with the expected one kept in a file beside the tests.
inline void ExpectTrace(const std::string& trace, const std::filesystem::path& expectedFile) {
    std::ifstream in(expectedFile);
    ASSERT_TRUE(in) << expectedFile;
    std::vector<std::string> expected;
    for (std::string line; std::getline(in, line);)
        expected.push_back(line);
    const auto actual = TraceLinesWithoutTimes(trace);
    for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        ASSERT_EQ(i < actual.size() ? actual[i] : "(rien)",
                  i < expected.size() ? expected[i] : "(rien)")
            << "line " << i + 1 << " of " << expectedFile;
    }
}
