#include "app_options.h"
#include "reader/reader_factory.h"

#include <gtest/gtest.h>

using ostrel::app::AppOptions;
using ostrel::app::ParseAppOptions;
using Kind = ostrel::reader::ReaderChoice::Kind;

namespace {

TEST(AppOptions, AcceptedForms) {
    struct Case {
        std::vector<std::string> args;
        Kind kind;
        std::string readerArgument;
        std::string config;
    };
    const Case cases[] = {
        {{}, ostrel::reader::DefaultReaderChoice().kind, "", ""}, // PC/SC where it is built
        {{"--reader", "sim"}, Kind::Simulated, "", ""},
        {{"--reader=sim:/tmp/deck"}, Kind::Simulated, "/tmp/deck", ""},
        {{"--reader", "sim:card.card", "--config", "a.ini"}, Kind::Simulated, "card.card", "a.ini"},
        {{"--config=b.ini", "--reader", "pcsc:Lecteur 1"}, Kind::Pcsc, "Lecteur 1", "b.ini"},
        {{"--dialect", "storage", "--reader", "pcsc"}, Kind::Pcsc, "", ""},
    };
    for (const Case& c : cases) {
        AppOptions options;
        std::string error;
        ASSERT_TRUE(ParseAppOptions(c.args, options, error)) << error;
        EXPECT_EQ(options.reader.kind, c.kind);
        EXPECT_EQ(options.reader.argument, c.readerArgument);
        EXPECT_EQ(options.configFile, c.config);
        EXPECT_FALSE(options.help);
    }
}

TEST(AppOptions, RefusedForms) {
    const std::vector<std::vector<std::string>> cases = {
        {"--reader"},
        {"--config"},
        {"--config="},
        {"--reader", "usb"},
        {"--reader", "sim:"},
        {"--reader", "sim", "--reader", "pcsc"},
        {"--config", "a.ini", "--config=b.ini"},
        {"--verbose"},
        {"carte.card"},
        {"--dialect", "ccid"},
        {"--dialect", "iso", "--dialect=iso"},
        {"--trace-codes"},
    };
    for (const auto& args : cases) {
        AppOptions options;
        std::string error;
        EXPECT_FALSE(ParseAppOptions(args, options, error)) << args.front();
        EXPECT_FALSE(error.empty()) << args.front();
    }
}

TEST(AppOptions, HelpAndVersion) {
    AppOptions options;
    std::string error;
    ASSERT_TRUE(ParseAppOptions({"--help"}, options, error));
    EXPECT_TRUE(options.help);
    EXPECT_FALSE(options.given.version);
    ASSERT_TRUE(ParseAppOptions({"--version"}, options, error));
    EXPECT_FALSE(options.help);
    EXPECT_TRUE(options.given.version);
}

} // namespace
