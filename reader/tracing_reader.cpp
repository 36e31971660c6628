#include "tracing_reader.h"

#include "base/hex.h"
#include "base/text_excerpt.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace ostrel::reader {

namespace {

enum RepeatableCall { kOpen = 0, kClose = 1, kGetInfo = 2 };

constexpr int kCodeLength = 3;

std::string Decimal(std::int32_t value) {
    return std::to_string(value);
}

// "00 01 00 20, Lc 0, Le 16": the record's four header bytes and its lengths.
std::string RecordHead(const CommandRecord& command) {
    const std::uint8_t head[] = {command.cla, command.ins, command.p1, command.p2};
    return TraceHex(head) + ", Lc " + Decimal(command.lc) + ", Le " + Decimal(command.le);
}

std::span<const std::uint8_t> Bytes(const std::uint8_t* data, std::int32_t length) {
    const auto fitting = length < 0 ? 0 : length > 256 ? 256 : length;
    return {data, static_cast<std::size_t>(fitting)};
}

} // namespace

std::string TraceHex(std::span<const std::uint8_t> bytes, int codeAt, bool showCode) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += ' ';
        const bool secret = !showCode && codeAt >= 0 && static_cast<int>(i) >= codeAt &&
                            static_cast<int>(i) < codeAt + kCodeLength;
        const auto digits = secret ? std::array<char, 2>{'*', '*'} : base::HexDigits(bytes[i]);
        text.append(digits.begin(), digits.end());
    }
    return text;
}

TracingReader::TracingReader(std::unique_ptr<ReaderLibrary> inner, std::unique_ptr<TraceSink> sink,
                             TraceOptions options)
    : inner_(std::move(inner)), sink_(std::move(sink)), options_(options),
      start_(std::chrono::steady_clock::now()) {
    observable_ = dynamic_cast<ObservableReader*>(inner_.get());
    if (observable_)
        observable_->setWireObserver(this);
}

TracingReader::~TracingReader() {
    if (observable_)
        observable_->setWireObserver(nullptr);
    if (quietCalls_ > 0)
        write(now(), "fin de la trace");
}

double TracingReader::now() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
        .count();
}

void TracingReader::write(double at, const std::string& text) {
    char time[32];
    std::snprintf(time, sizeof time, "%10.3f ms  ", at);
    std::string line = time + text;
    if (quietCalls_ > 0) {
        line += " (après " + Decimal(static_cast<std::int32_t>(quietCalls_)) +
                " appels répétés sans changement)";
        quietCalls_ = 0;
    }
    sink_->line(line);
}

// The monitor repeats the same open, close and poll every tick while nothing changes: with
// quietPolls only the first of a run is written, and the next line says how many followed.
bool TracingReader::quiet(const Repeatable& now) {
    Repeatable& last = last_[now.call];
    const bool same = last.call == now.call && last.handle == now.handle &&
                      last.result == now.result && last.card == now.card &&
                      last.reader == now.reader;
    last = now;
    if (!options_.quietPolls || !same)
        return false;
    ++quietCalls_;
    return true;
}

void TracingReader::flushCrossings() {
    for (const std::string& line : crossings_)
        sink_->line(line);
    crossings_.clear();
}

std::int32_t TracingReader::Open(std::int32_t readerType, std::int32_t port) {
    const double at = now();
    inCall_ = true;
    const std::int32_t r = inner_->Open(readerType, port);
    inCall_ = false;
    if (crossings_.empty() && quiet({kOpen, 0, r, false, {}}))
        return r;
    write(at, "Open(" + Decimal(readerType) + ", " + Decimal(port) + ") -> " + Decimal(r));
    flushCrossings();
    return r;
}

std::int32_t TracingReader::Close(std::int32_t handle) {
    const double at = now();
    inCall_ = true;
    const std::int32_t r = inner_->Close(handle);
    inCall_ = false;
    if (crossings_.empty() && quiet({kClose, handle, r, false, {}}))
        return r;
    write(at, "Close(" + Decimal(handle) + ") -> " + Decimal(r));
    flushCrossings();
    return r;
}

std::int32_t TracingReader::GetInfo(std::int32_t handle, InfoRecord& info) {
    const double at = now();
    inCall_ = true;
    const std::int32_t r = inner_->GetInfo(handle, info);
    inCall_ = false;
    const std::string reader(info.readerName, strnlen(info.readerName, sizeof info.readerName));
    if (crossings_.empty() && quiet({kGetInfo, handle, r, r >= 0 && info.cardPresent(), reader}))
        return r;
    std::string text = "GetInfo(" + Decimal(handle) + ") -> " + Decimal(r);
    if (r >= 0)
        text += std::string(info.cardPresent() ? " : carte présente" : " : pas de carte") +
                ", lecteur « " + base::Escaped(reader) + " »";
    write(at, text);
    flushCrossings();
    return r;
}

std::int32_t TracingReader::StartSession(std::int32_t handle, SessionRecord& session) {
    const double at = now();
    inCall_ = true;
    const std::int32_t r = inner_->StartSession(handle, session);
    inCall_ = false;
    std::string text = "StartSession(" + Decimal(handle) + ", type " + Decimal(session.cardType) +
                       ") -> " + Decimal(r);
    if (r >= 0) {
        const auto* atr = reinterpret_cast<const std::uint8_t*>(session.atr);
        text += " : ATR " + TraceHex(Bytes(atr, session.atrLength));
    }
    write(at, text);
    flushCrossings();
    return r;
}

std::int32_t TracingReader::EndSession(std::int32_t handle) {
    const double at = now();
    inCall_ = true;
    const std::int32_t r = inner_->EndSession(handle);
    inCall_ = false;
    write(at, "EndSession(" + Decimal(handle) + ") -> " + Decimal(r));
    flushCrossings();
    return r;
}

std::int32_t TracingReader::ExchangeAPDU(std::int32_t handle, CommandRecord& command) {
    const double at = now();
    // What was sent, before the reader fills data out.
    std::string text = "ExchangeAPDU(" + Decimal(handle) + ", " + RecordHead(command);
    const bool code = command.cla == 0 && command.ins == kInsPresentCode;
    if (command.lc > 0)
        text +=
            " : " + TraceHex(Bytes(command.dataIn, command.lc), code ? 0 : -1, options_.showCodes);
    inCall_ = true;
    const std::int32_t r = inner_->ExchangeAPDU(handle, command);
    inCall_ = false;
    text += ") -> " + Decimal(r);
    if (r >= 0 && command.le > 0)
        text += " : " + TraceHex(Bytes(command.dataOut, command.le));
    write(at, text);
    flushCrossings();
    return r;
}

void TracingReader::crossed(const Crossing& crossing) {
    std::string text = crossing.wire == Wire::Pcsc ? "  PC/SC " : "  puce ";
    if (!crossing.operation.empty()) {
        text += crossing.operation;
        if (!crossing.sent.empty())
            text += ' ';
    }
    text += TraceHex(crossing.sent, crossing.codeAt, options_.showCodes);
    text += " -> ";
    text += crossing.result < 0         ? "erreur " + Decimal(crossing.result)
            : crossing.received.empty() ? std::string("rien")
                                        : TraceHex(crossing.received);
    char time[32];
    std::snprintf(time, sizeof time, "%10.3f ms  ", now());
    if (inCall_)
        crossings_.push_back(time + text);
    else
        sink_->line(time + text);
}

} // namespace ostrel::reader
