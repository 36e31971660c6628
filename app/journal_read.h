#pragma once

#include "base/beside_task.h"
#include "base/waiting.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <optional>

class QLabel;
class QTimer;

namespace ostrel::app {

// A read of the journal for a view of the Journal window, run beside the window's thread: the
// journal may be held by another program, or its server slow, and the window keeps answering.
// While the read waits, the view's label says so; once it ends, what it read is shown on the
// window's thread. Reads asked while one runs wait for it, and only the last asked is shown.
class JournalRead : public QObject {
public:
    // A read that ends within this is shown at once, so that a quick journal shows no wait.
    static constexpr std::chrono::milliseconds kGrace{50};
    static constexpr int kPollMilliseconds = 50;

    // waiting: what the journal's waits run within, called off when the view goes while its read
    // waits (may be null: the view then waits for the read to end); label: the view's own.
    JournalRead(base::Waiting* waiting, QLabel* label, QObject* parent);
    ~JournalRead() override;
    JournalRead(const JournalRead&) = delete;
    JournalRead& operator=(const JournalRead&) = delete;

    // read runs beside the window's thread and touches only the journal and what it holds
    // itself; show then runs on the window's thread, unless another read was asked meanwhile.
    void Start(std::function<void()> read, std::function<void()> show);

    // The view shows something else: what is being read, or waits to be, is not shown.
    void Forget();

    // A read runs or waits to run.
    bool pending() const { return task_.pending() || next_.has_value(); }

private:
    struct Read {
        std::function<void()> read;
        std::function<void()> show;
    };
    void Launch(Read read);
    // Shows what has been read, launches what waits, and says whether the view still waits.
    void Step(bool justAsked);

    QLabel* label_;
    QTimer* timer_;
    std::optional<Read> next_;
    unsigned asked_ = 0;    // the reads asked so far; the last one is shown
    unsigned launched_ = 0; // which of them runs now
    base::BesideTask task_; // last: it joins its thread before the rest goes
};

} // namespace ostrel::app
