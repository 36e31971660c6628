#pragma once

#include "journal.h"
#include "outcome_spool.h"

#include <atomic>
#include <functional>

namespace ostrel::journal {

// What both journals do with the end of an operation they could not record once its card was
// touched (journal busy, full, away, re-created, the row gone): the whole row is kept in the
// station's spool under the identity of its series, sent later in the order kept, and one the
// journal refuses for good is set aside with the reason without holding up the others.
class SpoolingJournal : public Journal {
public:
    // An empty path means pending.sqlite in the user's data folder.
    explicit SpoolingJournal(std::string spoolPath) : spool_(std::move(spoolPath)) {}

    bool Keep(const Entry& finished, std::string& error) override;
    std::size_t PendingCount() override { return pending_; }
    bool ListPending(bool withSetAside, std::vector<PendingOutcome>& outcomes,
                     std::string& error) override;
    std::string SpoolLocation() const override { return spool_.path(); }

protected:
    enum class Delivery {
        Delivered,   // the row now ends as kept (or already did)
        Unreachable, // try again later: the journal did not answer or was busy
        Refused,     // the journal will never take it: set aside
    };
    using Deliver = std::function<Delivery(const Entry& finished, std::string& error)>;

    // The identity entries are filed under: stable for the series, whatever the spelling of
    // the address or the name of the file.
    virtual std::string SpoolSite() const = 0;

    // Sends what waits for this series, in order, each through deliver; stops at the first one
    // that could not reach the journal.
    bool SendSpooled(const Deliver& deliver, std::string& error);
    // The count shown, read again from the spool.
    void Recount();

    OutcomeSpool spool_;

private:
    std::atomic<std::size_t> pending_{0};
};

} // namespace ostrel::journal
