#include "simulated_reader.h"

#include "chip_commands.h"

#include <algorithm>
#include <cstring>

namespace ostrel::reader {

void SimulatedReader::plug() {
    plugged_ = true;
}

void SimulatedReader::unplug() {
    plugged_ = false;
    open_ = false;
    session_ = false;
    if (card_)
        card_->chip().powerCycle();
}

void SimulatedReader::insertCard(std::shared_ptr<VirtualCard> card) {
    removeCard();
    card_ = std::move(card);
}

void SimulatedReader::removeCard() {
    if (card_)
        card_->chip().powerCycle();
    card_.reset();
    session_ = false;
}

void SimulatedReader::planFault(int exchangeNumber, FaultKind kind) {
    faultAt_ = exchangeNumber;
    faultKind_ = kind;
}

void SimulatedReader::clearFaults() {
    faultAt_ = 0;
}

std::int32_t SimulatedReader::Open(std::int32_t, std::int32_t) {
    if (!plugged_)
        return kErrNoReader;
    open_ = true;
    return kHandle;
}

std::int32_t SimulatedReader::Close(std::int32_t handle) {
    if (handle != kHandle || !open_)
        return kErrNoReader;
    open_ = false;
    session_ = false;
    if (card_)
        card_->chip().powerCycle();
    return 0;
}

std::int32_t SimulatedReader::GetInfo(std::int32_t handle, InfoRecord& info) {
    ++polls_;
    if (!validHandle(handle) || pollFails_)
        return kErrNoReader;
    static constexpr char kName[] = "Lecteur simulé";
    std::memcpy(info.readerName, kName, sizeof kName);
    info.head[InfoRecord::kCardStatusByte] = card_ ? 1 : 0;
    return 0;
}

std::int32_t SimulatedReader::beginExchange(std::int32_t handle, bool& replyLost) {
    if (!validHandle(handle))
        return kErrNoReader;
    ++exchanges_;
    const bool faulted = faultAt_ != 0 && exchanges_ == faultAt_;
    replyLost = faulted && faultKind_ == FaultKind::FailAfter;
    if (faulted && faultKind_ == FaultKind::RemoveCard)
        removeCard();
    if (faulted && faultKind_ == FaultKind::Fail)
        return kErrTransmission;
    return card_ ? 0 : kErrNoCard;
}

std::int32_t SimulatedReader::StartSession(std::int32_t handle, SessionRecord& session) {
    bool replyLost = false;
    if (const std::int32_t r = beginExchange(handle, replyLost); r < 0)
        return r;
    // A new session powers the card up again: an earlier unlock is gone.
    card_->chip().powerCycle();
    session_ = true;
    std::fill(std::begin(session.atr), std::end(session.atr), '\0');
    for (int i = 0; i < 4; ++i) {
        session.atr[i] = static_cast<char>(card_->chip().memory()[static_cast<std::size_t>(i)]);
    }
    session.atrLength = 4;
    tell({WireObserver::Wire::Chip,
          "mise sous tension",
          {},
          {card_->chip().memory().data(), 4},
          0,
          -1});
    return replyLost ? kErrTransmission : 0;
}

std::int32_t SimulatedReader::EndSession(std::int32_t handle) {
    if (!validHandle(handle))
        return kErrNoReader;
    if (card_)
        card_->chip().powerCycle();
    const bool had = session_;
    session_ = false;
    return had ? 0 : kErrNoSession;
}

std::int32_t SimulatedReader::ExchangeAPDU(std::int32_t handle, CommandRecord& command) {
    bool replyLost = false;
    if (const std::int32_t r = beginExchange(handle, replyLost); r < 0)
        return r;
    if (!session_)
        return kErrNoSession;
    // The card is what its file holds: a change that cannot be saved is undone.
    const Sle4442Chip before = card_->chip();
    const ChipReply reply = ExecuteOnChip(card_->chip(), command, wireObserver());
    if (reply.changed && !card_->persist(saveError_)) {
        card_->chip() = before;
        if (cardChanged_)
            cardChanged_();
        return kErrTransmission;
    }
    if (reply.changed) {
        saveError_.clear();
        if (cardChanged_)
            cardChanged_();
    }
    return replyLost ? kErrTransmission : reply.result;
}

} // namespace ostrel::reader
