#include "switchable_reader.h"

namespace ostrel::reader {

SwitchableReader::SwitchableReader(std::unique_ptr<ReaderLibrary> first)
    : inUse_(std::move(first)) {
    observe(*inUse_, this);
}

SwitchableReader::~SwitchableReader() {
    observe(*inUse_, nullptr);
}

void SwitchableReader::observe(ReaderLibrary& library, WireObserver* observer) {
    if (auto* observable = dynamic_cast<ObservableReader*>(&library))
        observable->setWireObserver(observer);
}

std::int32_t SwitchableReader::Replace(std::unique_ptr<ReaderLibrary> next) {
    const std::int32_t opened = next->Open(kReaderTypeAny, kReaderPortAny);
    if (opened < 0)
        return opened;
    next->Close(opened);
    if (open_ && !replaced_)
        inUse_->Close(*open_);
    open_.reset();
    observe(*inUse_, nullptr);
    retired_.push_back(std::move(inUse_));
    inUse_ = std::move(next);
    observe(*inUse_, this);
    replaced_ = true;
    return opened;
}

std::int32_t SwitchableReader::Open(std::int32_t readerType, std::int32_t port) {
    replaced_ = false;
    const std::int32_t handle = inUse_->Open(readerType, port);
    if (handle >= 0)
        open_ = handle;
    return handle;
}

std::int32_t SwitchableReader::Close(std::int32_t handle) {
    if (replaced_)
        return kErrNoReader;
    if (open_ == handle)
        open_.reset();
    return inUse_->Close(handle);
}

std::int32_t SwitchableReader::GetInfo(std::int32_t handle, InfoRecord& info) {
    return replaced_ ? kErrNoReader : inUse_->GetInfo(handle, info);
}

std::int32_t SwitchableReader::StartSession(std::int32_t handle, SessionRecord& session) {
    return replaced_ ? kErrNoReader : inUse_->StartSession(handle, session);
}

std::int32_t SwitchableReader::EndSession(std::int32_t handle) {
    return replaced_ ? kErrNoReader : inUse_->EndSession(handle);
}

std::int32_t SwitchableReader::ExchangeAPDU(std::int32_t handle, CommandRecord& command) {
    return replaced_ ? kErrNoReader : inUse_->ExchangeAPDU(handle, command);
}

} // namespace ostrel::reader
