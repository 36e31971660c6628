#include "pcsc_reader.h"

#include "card_type_control.h"
#include "dialect_commands.h"
#include "dialect_probe.h"
#include "pcsc_result.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace ostrel::reader::pcsc {

namespace {

// Data, four protection bytes an older driver may append, and the status word.
constexpr std::size_t kReplyCapacity = 256 + dialect::kProtectionLength + 2;
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

PcscReader::PcscReader(std::string wantedName, std::optional<dialect::Dialect> dialect)
    : wanted_(std::move(wantedName)), forced_(dialect) {}

PcscReader::~PcscReader() {
    Release();
}

std::int32_t PcscReader::Open(std::int32_t, std::int32_t) {
    Release();
    if (const std::int32_t r =
            PcscResult(SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context_));
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
    if (const std::int32_t r = PcscResult(SCardListReaders(context_, nullptr, nullptr, &length));
        r < 0)
        return r;
    std::vector<char> list(length + 1, '\0');
    if (const std::int32_t r =
            PcscResult(SCardListReaders(context_, nullptr, list.data(), &length));
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
        return PcscResult(SCARD_E_UNKNOWN_READER);
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
    counter_.reset();
}

std::int32_t PcscReader::GetInfo(std::int32_t handle, InfoRecord& info) {
    if (!open(handle))
        return kErrNoReader;
    SCARD_READERSTATE reader{};
    reader.szReader = name_.c_str();
    reader.dwCurrentState = SCARD_STATE_UNAWARE;
    if (const std::int32_t r = PcscResult(SCardGetStatusChange(context_, 0, &reader, 1)); r < 0)
        return r;
    const DWORD state = reader.dwEventState & kStateWordMask;
    if (state & (SCARD_STATE_UNKNOWN | SCARD_STATE_IGNORE))
        return PcscResult(SCARD_E_UNKNOWN_READER);
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
    const std::int32_t r = PcscResult(rv);
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
        PcscResult(SCardStatus(card_, name, &nameLength, &state, &protocol, atr, &atrLength));
    const auto own =
        CardAnswerToReset({atr, r == 0 ? std::min<std::size_t>(atrLength, sizeof atr) : 0});
    if (r == 0)
        r = BeginSession(own);
    if (r < 0) {
        Disconnect();
        return r;
    }
    std::fill(std::begin(session.atr), std::end(session.atr), '\0');
    const std::size_t copied = std::min(own.size(), sizeof session.atr);
    std::copy_n(own.begin(), copied, session.atr);
    session.atrLength = static_cast<std::int32_t>(copied);
    return 0;
}

std::optional<dialect::Dialect> PcscReader::dialect() const {
    if (forced_)
        return forced_;
    const auto found = found_.find(name_);
    return found == found_.end() ? std::nullopt : std::optional(found->second.dialect);
}

ReaderStatus PcscReader::readerStatus() const {
    const auto known = dialect();
    return {name_, known ? std::string(dialect::TableOf(*known).name) : "auto", problem_};
}

std::int32_t PcscReader::BeginSession(std::span<const std::uint8_t> cardAtr) {
    problem_.clear();
    table_ = nullptr;
    copy_.reset();
    if (const auto known = dialect()) {
        const dialect::Table& table = dialect::TableOf(*known);
        std::int32_t r = 0;
        bool byControl = false;
        if (table.dialect == dialect::Dialect::Memcard) {
            r = StartMemcard(cardAtr, byControl);
        } else if (table.sessionStart.length > 0) {
            std::uint8_t reply[kReplyCapacity];
            std::size_t replyLength = sizeof reply;
            r = Transmit({table.sessionStart.bytes.data(), table.sessionStart.length}, reply,
                         replyLength);
            if (r == 0 && !SessionStarted(table, {reply, replyLength}, cardAtr))
                r = kErrBadCommand;
        }
        if (r == 0) {
            table_ = &table;
            found_.insert_or_assign(name_, Found{table.dialect, byControl});
            return 0;
        }
        // A dialect found earlier that no longer answers is looked for again.
        if (forced_ || r != kErrBadCommand) {
            if (r == kErrBadCommand)
                problem_ = "lecteur « " + name_ +
                           " » : la carte ne répond pas au jeu de commandes " +
                           std::string(table.name) + " ; choisissez --dialect";
            return r;
        }
        found_.erase(name_);
    }
    const ProbeResult probed = ProbeDialect(
        [this](std::span<const std::uint8_t> apdu, std::vector<std::uint8_t>& reply) {
            reply.resize(kReplyCapacity);
            std::size_t length = reply.size();
            const std::int32_t r = Transmit(apdu, reply.data(), length);
            reply.resize(length);
            return r;
        },
        cardAtr, [this] { return SetCardTypeByControl(); });
    if (probed.result < 0)
        return probed.result;
    if (!probed.dialect) {
        problem_ = NoDialectText(name_);
        return kErrBadCommand;
    }
    found_[name_] = {*probed.dialect, probed.typeByControl};
    table_ = &dialect::TableOf(*probed.dialect);
    return 0;
}

std::int32_t PcscReader::StartMemcard(std::span<const std::uint8_t> cardAtr, bool& byControl) {
    byControl = false;
    const auto found = found_.find(name_);
    if (found == found_.end() || !found->second.typeByControl) {
        const dialect::FixedApdu& select = dialect::kMemcard.sessionStart;
        std::uint8_t reply[kReplyCapacity];
        std::size_t replyLength = sizeof reply;
        if (const std::int32_t r =
                Transmit({select.bytes.data(), select.length}, reply, replyLength);
            r < 0) {
            return r;
        }
        if (SessionStarted(dialect::kMemcard, {reply, replyLength}, cardAtr))
            return 0;
        // Only a refusal says the reader may want the card type from its driver.
        if (replyLength != 2)
            return kErrBadCommand;
    }
    const std::int32_t r = SetCardTypeByControl();
    byControl = r == 0;
    return r == 1 ? kErrBadCommand : r;
}

std::int32_t PcscReader::SetCardTypeByControl() {
    const std::int32_t r = pcsc::SetCardTypeByControl(card_, protocol_);
    // The trace shows the control as the value sent, refused as a command the reader lacks.
    const DWORD type = dialect::kDriverCardTypeSle4442;
    const auto* sent = reinterpret_cast<const std::uint8_t*>(&type);
    tell({WireObserver::Wire::Pcsc,
          "SCardControl(2060)",
          {sent, sizeof type},
          {},
          r == 1 ? kErrNotSupported : r,
          -1});
    return r;
}

std::int32_t PcscReader::EndSession(std::int32_t handle) {
    if (!open(handle))
        return kErrNoReader;
    if (!connected_)
        return kErrNoSession;
    return Disconnect();
}

std::int32_t PcscReader::Disconnect() {
    table_ = nullptr;
    copy_.reset();
    if (!connected_)
        return 0;
    connected_ = false;
    return PcscResult(SCardDisconnect(card_, SCARD_RESET_CARD));
}

std::int32_t PcscReader::Transmit(std::span<const std::uint8_t> apdu, std::uint8_t* reply,
                                  std::size_t& replyLength, int codeAt) {
    DWORD received = static_cast<DWORD>(replyLength);
    const std::int32_t r =
        PcscResult(SCardTransmit(card_, SendPci(protocol_), apdu.data(),
                                 static_cast<DWORD>(apdu.size()), nullptr, reply, &received));
    replyLength = r == 0 ? std::min<std::size_t>(received, replyLength) : 0;
    tell({WireObserver::Wire::Pcsc, {}, apdu, {reply, replyLength}, r, codeAt});
    return r;
}

std::int32_t PcscReader::ExchangeAPDU(std::int32_t handle, CommandRecord& command) {
    if (!open(handle))
        return kErrNoReader;
    if (!connected_ || !table_)
        return kErrNoSession;
    const std::int32_t r =
        command.cla == 0 && command.ins == kInsReadMemory ? Read(command) : Exchange(command);
    if (r < 0)
        copy_.reset();
    return r;
}

std::int32_t PcscReader::Exchange(CommandRecord& command) {
    Apdu apdu;
    if (const std::int32_t r = BuildApdu(*table_, command, apdu); r < 0)
        return r;
    if (apdu.length == 0 && command.ins == kInsReadErrorCounter)
        return command.p1 == kCounterFromCard ? kErrNotSupported : KnownCounter(command);
    if (apdu.length == 0)
        return command.ins == kInsReadProtectionBits ? kErrNotSupported : 0;
    // Older firmware reads the error counter with Le 00 only: asked once per reader.
    std::uint8_t& le = apdu.bytes[dialect::kHeaderLength - 1];
    const auto askedLe = askedLe_.find({name_, command.ins});
    if (askedLe != askedLe_.end() && apdu.length == dialect::kHeaderLength)
        le = askedLe->second;
    std::uint8_t reply[kReplyCapacity];
    std::size_t replyLength = sizeof reply;
    const int codeAt = command.ins == kInsPresentCode ? int(dialect::kHeaderLength) : -1;
    if (const std::int32_t r = Transmit(apdu.view(), reply, replyLength, codeAt); r < 0)
        return r;
    if (AskedAgain({reply, replyLength}, apdu)) {
        replyLength = sizeof reply;
        if (const std::int32_t r = Transmit(apdu.view(), reply, replyLength); r < 0)
            return r;
        askedLe_[{name_, command.ins}] = le;
    }
    const std::int32_t r = ReadReply(*table_, command, {reply, replyLength});
    if (command.ins == kInsWriteMemory)
        Written();
    if (r == 0 && command.ins == kInsPresentCode && !table_->readCounter.exists()) {
        if (const auto events = CardEvents()) {
            counter_ = command.dataOut[0];
            counterEvents_ = *events;
        }
    }
    return r;
}

std::int32_t PcscReader::Read(CommandRecord& command) {
    if (command.le < 0 || command.le > 256 || command.p2 + command.le > 256)
        return kErrBadCommand;
    // A card pulled and put back, or another one, is read afresh.
    if (copy_ && (!copyEvents_ || CardEvents() != copyEvents_))
        copy_.reset();
    if (!copy_) {
        if (const std::int32_t r = ReadAhead(); r < 0)
            return r;
    }
    std::copy_n(copy_->begin() + command.p2, command.le, command.dataOut);
    return 0;
}

std::int32_t PcscReader::ReadAhead() {
    constexpr int kMemory = 256;
    const std::optional<DWORD> events = CardEvents();
    std::array<std::uint8_t, kMemory> image{};
    const auto known = readSize_.find(name_);
    int size = known == readSize_.end() ? kMemory : known->second;
    for (int at = 0; at < kMemory;) {
        const int wanted = std::min(size, kMemory - at);
        Apdu apdu;
        if (const std::int32_t r = BuildRead(*table_, at, wanted, apdu); r < 0)
            return r;
        std::uint8_t reply[kReplyCapacity];
        std::size_t replyLength = sizeof reply;
        if (const std::int32_t r = Transmit(apdu.view(), reply, replyLength); r < 0)
            return r;
        // A reader that takes shorter reads only gets the rest in reads of that size.
        if (const int shorter = ShorterRead({reply, replyLength}, wanted)) {
            size = shorter;
            continue;
        }
        std::size_t got = 0;
        if (const std::int32_t r =
                ReadDataReply(*table_, {reply, replyLength}, static_cast<std::size_t>(wanted),
                              image.data() + at, got);
            r < 0) {
            return r;
        }
        if (static_cast<int>(got) < wanted)
            size = static_cast<int>(got);
        at += static_cast<int>(got);
    }
    readSize_[name_] = size;
    copy_ = image;
    copyEvents_ = events;
    return 0;
}

void PcscReader::Written() {
    // A confirmed write says only that the reader took it: some confirm what the chip ignored
    // (no code, a protected byte) or never passed on. The next read, the check after the write,
    // asks the card itself, and refreshes the copy from it.
    copy_.reset();
}

std::int32_t PcscReader::KnownCounter(CommandRecord& command) {
    std::fill_n(command.dataOut, command.le, 0);
    const auto events = CardEvents();
    command.dataOut[0] = counter_ && events && *events == counterEvents_
                             ? *counter_
                             : dialect::CounterForAttempts(3);
    return 0;
}

std::optional<DWORD> PcscReader::CardEvents() {
    SCARD_READERSTATE reader{};
    reader.szReader = name_.c_str();
    reader.dwCurrentState = SCARD_STATE_UNAWARE;
    if (SCardGetStatusChange(context_, 0, &reader, 1) != SCARD_S_SUCCESS)
        return std::nullopt;
    return reader.dwEventState >> 16;
}

} // namespace ostrel::reader::pcsc
