#pragma once

#include "cli_run.h"
#include "temp_folder.h"

#include <filesystem>
#include <string>
#include <vector>

// An operator's day through ostrel-card, recorded in one journal: first a card locked for good
// and a card with one attempt left offered a credit (neither is presented a code), then two
// blank cards formatted
// (1000000 and 1000001), the first then written as a credit card of 12 credits (its inserted
// formatted card is rewritten first), a blank card written as a programme 2 token card, a card
// whose code is not its supplier's refused, and a token card whose file cannot be written.
struct ScriptedDay {
    explicit ScriptedDay(const TempFolder& folder) : dir(folder) {}

    const TempFolder& dir;
    std::string journal() const { return dir.path("journal.sqlite"); }

    CliRun Card(const std::string& card, const std::vector<std::string>& command) const {
        std::vector<std::string> args = {"--reader",  "sim:" + dir.path(card),
                                         "--config",  dir.path("c.ini"),
                                         "--journal", journal()};
        args.insert(args.end(), command.begin(), command.end());
        return OstrelCard(args);
    }

    // Each step's exit status, in order; all 0 but the two cards not presented a code, the
    // refused code and the failed write.
    std::vector<int> Run() const {
        for (const auto& [name, option] :
             std::vector<std::pair<std::string, std::vector<std::string>>>{
                 {"a.card", {"--supplier", "35"}},
                 {"b.card", {"--supplier", "04"}},
                 {"c.card", {}},
                 {"d.card", {"--code", "A1B2C3"}},
                 {"e.card", {}},
                 {"f.card", {"--counter", "0"}},
                 {"g.card", {"--counter", "1"}}}) {
            std::vector<std::string> args = {"card", "new", dir.path(name)};
            args.insert(args.end(), option.begin(), option.end());
            OstrelCard(args);
        }
        std::vector<int> status;
        status.push_back(Card("f.card", {"credit", "6"}).status);
        status.push_back(Card("g.card", {"credit", "6"}).status);
        status.push_back(Card("a.card", {"format"}).status);
        status.push_back(Card("b.card", {"format"}).status);
        status.push_back(Card("a.card", {"credit", "12"}).status);
        status.push_back(Card("c.card", {"token", "2"}).status);
        status.push_back(Card("d.card", {"credit", "4"}).status);
        std::filesystem::permissions(dir.path("e.card"), std::filesystem::perms::owner_read);
        status.push_back(Card("e.card", {"token", "1"}).status);
        return status;
    }
};
