#pragma once

#include "reader_library.h"
#include "virtual_card.h"
#include "wire_observer.h"

#include <functional>
#include <memory>
#include <string>

namespace ostrel::reader {

// What a planned fault does to the exchange it hits.
enum class FaultKind {
    Fail,       // the exchange is not carried out and reports an error
    FailAfter,  // the exchange is carried out, but its reply is lost
    RemoveCard, // the card is pulled just before the exchange
};

// A reader with a card slot, modelling the chip itself. Plugging, unplugging, inserting and
// removing are what a person does with a real reader; the fault plan is for tests.
// Every StartSession and ExchangeAPDU call counts as one exchange, numbered from 1.
class SimulatedReader : public ObservableReader {
public:
    SimulatedReader() = default;

    // Reader cable.
    void plug();
    void unplug();
    bool plugged() const { return plugged_; }

    // Card slot. Removing the card ends any session.
    void insertCard(std::shared_ptr<VirtualCard> card);
    void removeCard();
    std::shared_ptr<VirtualCard> card() const { return card_; }

    void setPollFails(bool fails) { pollFails_ = fails; }

    void planFault(int exchangeNumber, FaultKind kind);
    void clearFaults();
    int exchangeCount() const { return exchanges_; }
    void resetExchangeCount() { exchanges_ = 0; }
    int pollCount() const { return polls_; }

    // Called after an exchange changed the card, so that what shows the card follows it: the
    // change was saved, or it was undone and lastSaveError() says why. Empty for none.
    void setCardChangedHandler(std::function<void()> handler) { cardChanged_ = std::move(handler); }

    // Why the last save of the card file failed; empty when it did not.
    const std::string& lastSaveError() const { return saveError_; }

    std::int32_t Open(std::int32_t readerType, std::int32_t port) override;
    std::int32_t Close(std::int32_t handle) override;
    std::int32_t GetInfo(std::int32_t handle, InfoRecord& info) override;
    std::int32_t StartSession(std::int32_t handle, SessionRecord& session) override;
    std::int32_t EndSession(std::int32_t handle) override;
    std::int32_t ExchangeAPDU(std::int32_t handle, CommandRecord& command) override;

    static constexpr std::int32_t kHandle = 1;

private:
    // Counts the exchange and applies the fault planned for it. Returns 0 to go on with a card
    // in the slot; replyLost says the exchange is carried out but its reply must be lost.
    std::int32_t beginExchange(std::int32_t handle, bool& replyLost);
    bool validHandle(std::int32_t handle) const { return plugged_ && open_ && handle == kHandle; }

    bool plugged_ = true;
    bool open_ = false;
    bool pollFails_ = false;
    bool session_ = false;
    std::shared_ptr<VirtualCard> card_;
    int exchanges_ = 0;
    int polls_ = 0;
    int faultAt_ = 0;
    FaultKind faultKind_ = FaultKind::Fail;
    std::string saveError_;
    std::function<void()> cardChanged_;
};

} // namespace ostrel::reader
