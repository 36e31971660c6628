#pragma once

#include "reader/simulated_reader.h"
#include "workflows/workflow_host.h"

#include <QApplication>
#include <QColor>
#include <QLabel>
#include <functional>
#include <vector>

// The main window as a workflow window sees it: it records the menu locking and what the status
// line was told the workflow waits for.
struct FakeHost : ostrel::workflows::WorkflowHost {
    std::vector<bool> calls;
    std::vector<std::string> waits;
    void EnableMenu(bool enable) override { calls.push_back(enable); }
    void ShowWaiting(const std::string& text) override { waits.push_back(text); }
};

// Passes every call to a simulated reader, and lets a test look at the window at each exchange.
class SpyReader : public ostrel::reader::ReaderLibrary {
public:
    explicit SpyReader(ostrel::reader::SimulatedReader& inner) : inner_(inner) {}
    std::function<void()> onExchange;

    std::int32_t Open(std::int32_t t, std::int32_t p) override { return inner_.Open(t, p); }
    std::int32_t Close(std::int32_t h) override { return inner_.Close(h); }
    std::int32_t GetInfo(std::int32_t h, ostrel::reader::InfoRecord& i) override {
        return inner_.GetInfo(h, i);
    }
    std::int32_t StartSession(std::int32_t h, ostrel::reader::SessionRecord& s) override {
        if (onExchange)
            onExchange();
        return inner_.StartSession(h, s);
    }
    std::int32_t EndSession(std::int32_t h) override { return inner_.EndSession(h); }
    std::int32_t ExchangeAPDU(std::int32_t h, ostrel::reader::CommandRecord& c) override {
        if (onExchange)
            onExchange();
        return inner_.ExchangeAPDU(h, c);
    }

private:
    ostrel::reader::SimulatedReader& inner_;
};

template <typename Widget> Widget* Find(QWidget* window, const char* objectName) {
    return window->findChild<Widget*>(objectName);
}

inline QString LabelText(QWidget* window, const char* objectName) {
    const QLabel* label = Find<QLabel>(window, objectName);
    return label ? label->text() : QString("<no %1>").arg(objectName);
}
