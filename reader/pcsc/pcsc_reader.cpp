#include "pcsc_reader.h"

#include "memory_card_commands.h"
#include "pcsc_result.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace ostrel::reader::pcsc {

namespace {

// Data, four protection bytes an older driver may append, and the status word.
constexpr std::size_t kReplyCapacity = 256 + apdu::kProtectionLength + 2;
constexpr DWORD kStateWordMask = 0xFFFF; // the upper half counts events
constexpr std::int32_t kLastHandle = 0x7FFFFFFF;

const SCARD_IO_REQUEST* SendPci(DWORD protocol) {
    switch (protocol) {
    case SCARD_PROTOCOL_T0:
        return SCARD_PCI_T0;
    case SCARD_PROTOCOL_T1:
        return SCARD_PCI_T1;
    default:
        return SCARD_PCI_RAW;
    }
}

// A multi-string: names separated by NUL, ended by an empty name.
std::vector<std::string> SplitNames(const std::vector<char>& list) {
    std::vector<std::string> names;
    for (std::size_t at = 0; at < list.size() && list[at] != '\0';) {
        const std::string name(&list[at]);
        at += name.size() + 1;
        names.push_back(name);
    }
    return names;
}

} // namespace

PcscReader::PcscReader(std::string wantedName) : wanted_(std::move(wantedName)) {}

PcscReader::~PcscReader() {
    Release();
}

std::int32_t PcscReader::Result(LONG rv) {
    if (rv != SCARD_S_SUCCESS)
        lastError_ = rv;
    return PcscResult(rv);
}

std::int32_t PcscReader::Open(std::int32_t, std::int32_t) {
    Release();
    if (const std::int32_t r =
            Result(SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context_));
        r < 0) {
        return r;
    }
    hasContext_ = true;
    if (const std::int32_t r = ChooseReader(); r < 0) {
        Release();
        return r;
    }
    handle_ = nextHandle_;
    nextHandle_ = nextHandle_ == kLastHandle ? 1 : nextHandle_ + 1;
    return handle_;
}

std::int32_t PcscReader::ChooseReader() {
    DWORD length = 0;
    if (const std::int32_t r = Result(SCardListReaders(context_, nullptr, nullptr, &length)); r < 0)
        return r;
    std::vector<char> list(length + 1, '\0');
    if (const std::int32_t r = Result(SCardListReaders(context_, nullptr, list.data(), &length));
        r < 0) {
        return r;
    }
    const std::vector<std::string> names = SplitNames(list);
    auto chosen = names.begin();
    if (!wanted_.empty()) {
        chosen = std::find(names.begin(), names.end(), wanted_);
        if (chosen == names.end()) {
            chosen = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
                return name.rfind(wanted_, 0) == 0;
            });
        }
    }
    if (chosen == names.end())
        return Result(SCARD_E_UNKNOWN_READER);
    name_ = *chosen;
    return 0;
}

std::int32_t PcscReader::Close(std::int32_t handle) {
    if (!open(handle))
        return kErrNoReader;
    Release();
    return 0;
}

void PcscReader::Release() {
    Disconnect();
    if (hasContext_)
        SCardReleaseContext(context_);
    hasContext_ = false;
    context_ = 0;
    handle_ = 0;
    name_.clear();
}

std::int32_t PcscReader::GetInfo(std::int32_t handle, InfoRecord& info) {
    if (!open(handle))
        return kErrNoReader;
    SCARD_READERSTATE reader{};
    reader.szReader = name_.c_str();
    reader.dwCurrentState = SCARD_STATE_UNAWARE;
    if (const std::int32_t r = Result(SCardGetStatusChange(context_, 0, &reader, 1)); r < 0)
        return r;
    const DWORD state = reader.dwEventState & kStateWordMask;
    if (state & (SCARD_STATE_UNKNOWN | SCARD_STATE_IGNORE))
        return Result(SCARD_E_UNKNOWN_READER);
    info.head[InfoRecord::kCardStatusByte] = (state & SCARD_STATE_PRESENT) ? 1 : 0;
    const std::size_t copied = std::min(name_.size(), sizeof info.readerName - 1);
    std::memcpy(info.readerName, name_.data(), copied);
    info.readerName[copied] = '\0';
    return 0;
}

std::int32_t PcscReader::Connect() {
    LONG rv = SCardConnect(context_, name_.c_str(), SCARD_SHARE_EXCLUSIVE,
                           SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card_, &protocol_);
    // A reader that reports only the card's own bytes as ATR connects only raw.
    if (rv == SCARD_E_PROTO_MISMATCH) {
        rv = SCardConnect(context_, name_.c_str(), SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_RAW,
                          &card_, &protocol_);
    }
    const std::int32_t r = Result(rv);
    connected_ = r == 0;
    return r;
}

std::int32_t PcscReader::StartSession(std::int32_t handle, SessionRecord& session) {
    if (!open(handle))
        return kErrNoReader;
    // A new session powers the card up again, as on every reader.
    Disconnect();
    if (const std::int32_t r = Connect(); r < 0)
        return r;

    char name[MAX_READERNAME];
    DWORD nameLength = sizeof name;
    DWORD state = 0;
    DWORD protocol = 0;
    std::uint8_t atr[MAX_ATR_SIZE];
    DWORD atrLength = sizeof atr;
    std::int32_t r =
        Result(SCardStatus(card_, name, &nameLength, &state, &protocol, atr, &atrLength));
    if (r == 0) {
        const Apdu select = SelectCardTypeApdu();
        std::uint8_t reply[kReplyCapacity];
        std::size_t replyLength = sizeof reply;
        r = Transmit(select.bytes.data(), select.length, reply, replyLength);
        if (r == 0 && !IsOk({reply, replyLength}))
            r = kErrBadCommand;
    }
    if (r < 0) {
        Disconnect();
        return r;
    }
    const auto own = CardAnswerToReset({atr, std::min<std::size_t>(atrLength, sizeof atr)});
    std::fill(std::begin(session.atr), std::end(session.atr), '\0');
    const std::size_t copied = std::min(own.size(), sizeof session.atr);
    std::copy_n(own.begin(), copied, session.atr);
    session.atrLength = static_cast<std::int32_t>(copied);
    return 0;
}

std::int32_t PcscReader::EndSession(std::int32_t handle) {
    if (!open(handle))
        return kErrNoReader;
    if (!connected_)
        return kErrNoSession;
    return Disconnect();
}

std::int32_t PcscReader::Disconnect() {
    if (!connected_)
        return 0;
    connected_ = false;
    return Result(SCardDisconnect(card_, SCARD_RESET_CARD));
}

std::int32_t PcscReader::Transmit(const std::uint8_t* apdu, std::size_t length, std::uint8_t* reply,
                                  std::size_t& replyLength) {
    DWORD received = static_cast<DWORD>(replyLength);
    const std::int32_t r = Result(SCardTransmit(
        card_, SendPci(protocol_), apdu, static_cast<DWORD>(length), nullptr, reply, &received));
    replyLength = r == 0 ? std::min<std::size_t>(received, replyLength) : 0;
    return r;
}

std::int32_t PcscReader::ExchangeAPDU(std::int32_t handle, CommandRecord& command) {
    if (!open(handle))
        return kErrNoReader;
    if (!connected_)
        return kErrNoSession;
    Apdu apdu;
    if (const std::int32_t r = BuildApdu(command, apdu); r < 0 || apdu.length == 0)
        return r;
    std::uint8_t reply[kReplyCapacity];
    std::size_t replyLength = sizeof reply;
    if (const std::int32_t r = Transmit(apdu.bytes.data(), apdu.length, reply, replyLength); r < 0)
        return r;
    return ReadReply(command, {reply, replyLength});
}

} // namespace ostrel::reader::pcsc
