#include "base/command_line.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace ostrel::base;

const OptionDefinition kOptions[] = {
    {"--reader", OptionValue::Required, "LECTEUR", "le lecteur"},
    {"--key", OptionValue::Required, "CLÉ", "la clé ;\nsur deux lignes", kValueApartOnly},
    {"--trace", OptionValue::Optional, "FICHIER", "trace"},
    {"--force"},
};

TEST(CommandLine, AcceptsAndRefusesLines) {
    struct Case {
        std::vector<std::string> args;
        OptionsEnd end;
        ParseOutcome outcome;
        std::map<std::string, std::string, std::less<>> options;
        std::vector<std::string> positional;
        std::string error;
    };
    using enum ParseOutcome;
    constexpr OptionsEnd dd = OptionsEnd::DoubleDash, fp = OptionsEnd::FirstPositional;
    const Case cases[] = {
        {{}, dd, Run, {}, {}, ""},
        {{"a", "--reader", "sim", "b"}, dd, Run, {{"--reader", "sim"}}, {"a", "b"}, ""},
        {{"--reader=", "--force"}, dd, Run, {{"--reader", ""}, {"--force", ""}}, {}, ""},
        {{"--reader", "--force"}, dd, Run, {{"--reader", "--force"}}, {}, ""},
        {{"--key", "k=v", "--trace"}, dd, Run, {{"--key", "k=v"}, {"--trace", ""}}, {}, ""},
        {{"--trace=t.log", "-5", "-"}, dd, Run, {{"--trace", "t.log"}}, {"-5", "-"}, ""},
        {{"--", "--force", "-h"}, dd, Run, {}, {"--force", "-h"}, ""},
        {{"--force", "cmd", "--force", "--help"},
         fp,
         Run,
         {{"--force", ""}},
         {"cmd", "--force", "--help"},
         ""},
        {{"--bogus", "--help"}, dd, Help, {}, {}, ""},
        {{"x", "-h", "--reader"}, dd, Help, {}, {"x"}, ""},
        {{"--bogus"}, dd, Refused, {}, {}, "option inconnue « --bogus »"},
        {{"-x"}, dd, Refused, {}, {}, "option inconnue « -x »"},
        {{"--force=yes"}, dd, Refused, {}, {}, "option inconnue « --force=yes »"},
        {{"--key=k"}, dd, Refused, {}, {}, "option inconnue « --key=k »"},
        {{"--reader"}, dd, Refused, {}, {}, "l'option « --reader » attend une valeur"},
        {{"--trace", "--trace=a"}, dd, Refused, {}, {}, "option « --trace » donnée deux fois"},
        {{"--bogus", "cmd", "--help"}, fp, Refused, {}, {}, "option inconnue « --bogus »"},
    };
    for (const Case& c : cases) {
        const std::string line = ::testing::PrintToString(c.args);
        ParsedLine parsed;
        std::string error;
        ASSERT_EQ(ParseCommandLine(c.args, kOptions, parsed, error, {}, c.end), c.outcome) << line;
        EXPECT_EQ(error, c.error) << line;
        if (c.outcome == Run) {
            EXPECT_EQ(parsed.options, c.options) << line;
            EXPECT_EQ(parsed.positional, c.positional) << line;
        }
    }
    ParsedLine parsed;
    std::string error;
    const Wording terse{"inconnue : {}", "{} sans valeur", "{} deux fois"};
    ParseCommandLine({"--reader"}, kOptions, parsed, error, terse);
    EXPECT_EQ(error, "--reader sans valeur");
}

TEST(CommandLine, SynopsisAndHelpTableAlignInColumns) {
    EXPECT_EQ(OptionsSynopsis(kOptions),
              "[--reader LECTEUR] [--key CLÉ] [--trace[=FICHIER]] [--force]");
    EXPECT_EQ(OptionsHelp(kOptions), "  --reader LECTEUR   le lecteur\n"
                                     "  --key CLÉ          la clé ;\n"
                                     "                     sur deux lignes\n"
                                     "  --trace[=FICHIER]  trace\n");
}

} // namespace
