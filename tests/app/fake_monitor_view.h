#pragma once

#include "monitor_view.h"
#include "reader/shared_state.h"

#include <functional>
#include <string>
#include <vector>

// A workflow window that counts what the monitor tells it.
struct CountingWorkflow : ostrel::workflows::CardEvents {
    int inserted = 0;
    int removed = 0;
    std::function<void()> onInserted;
    void CardInserted() override {
        ++inserted;
        if (onInserted)
            onInserted();
    }
    void CardRemoved() override { ++removed; }
};

// Records what the monitor shows; the dump keeps what it would render when loaded.
class FakeMonitorView : public ostrel::app::MonitorView {
public:
    explicit FakeMonitorView(const ostrel::reader::SharedState& state) : state_(state) {}

    void setCaption(const std::string& caption) override { captions.push_back(caption); }
    void showDump() override {
        ++dumpLoads;
        dumpLoaded = true;
        dumpImage = state_.CardImage;
        dumpInfo = state_.InfoMessage;
    }
    void unloadDump() override {
        dumpLoaded = false;
        cardSecurity.clear();
    }
    void setCardSecurity(const std::string& text) override { cardSecurity = text; }
    void showWelcome() override { ++welcomeShows; }
    ostrel::workflows::CardEvents* formatWindow() override { return &format; }
    ostrel::workflows::CardEvents* disposableWindow() override { return &disposable; }

    std::string lastCaption() const { return captions.empty() ? std::string() : captions.back(); }

    std::vector<std::string> captions;
    int dumpLoads = 0;
    bool dumpLoaded = false;
    int welcomeShows = 0;
    ostrel::card::CardMemory dumpImage{};
    std::string dumpInfo;
    std::string cardSecurity;
    CountingWorkflow format;
    CountingWorkflow disposable;

private:
    const ostrel::reader::SharedState& state_;
};
