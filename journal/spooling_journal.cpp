#include "spooling_journal.h"

namespace ostrel::journal {

bool SpoolingJournal::Keep(const Entry& finished, std::string& error) {
    const bool kept = spool_.Keep(SpoolSite(), finished, error);
    Recount();
    return kept;
}

bool SpoolingJournal::ListPending(bool withSetAside, std::vector<PendingOutcome>& outcomes,
                                  std::string& error) {
    return spool_.List(SpoolSite(), withSetAside, outcomes, error);
}

bool SpoolingJournal::SendSpooled(const Deliver& deliver, std::string& error) {
    const std::string site = SpoolSite();
    std::vector<PendingOutcome> pending;
    if (!spool_.List(site, false, pending, error))
        return false;
    bool ok = true;
    for (const PendingOutcome& p : pending) {
        std::string why;
        const Delivery delivery = deliver(p.entry, why);
        if (delivery == Delivery::Unreachable) {
            error = why;
            ok = false;
            break;
        }
        const bool done = delivery == Delivery::Delivered
                              ? spool_.Remove(site, p.entry.id, why)
                              : spool_.SetAside(site, p.entry.id, why, why);
        if (!done) {
            error = why;
            ok = false;
            break;
        }
    }
    Recount();
    return ok;
}

void SpoolingJournal::Recount() {
    std::size_t count = 0;
    std::string error;
    if (spool_.Count(SpoolSite(), count, error))
        pending_ = count;
}

} // namespace ostrel::journal
