#include "journal_read.h"

#include "journal/sqlite_journal.h"

#include <QLabel>
#include <QMetaObject>
#include <QTimer>

namespace ostrel::app {

JournalRead::JournalRead(base::Waiting* waiting, QLabel* label, QObject* parent)
    : QObject(parent), label_(label), timer_(new QTimer(this)), task_(waiting) {
    timer_->setInterval(kPollMilliseconds);
    connect(timer_, &QTimer::timeout, this, [this] { Step(false); });
    // Told by the reading thread that it ended: looked at at once, on the window's thread. The
    // event dies with this object, which joins that thread first.
    task_.onEnded = [this] {
        QMetaObject::invokeMethod(
            this, [this] { Step(false); }, Qt::QueuedConnection);
    };
}

JournalRead::~JournalRead() {
    timer_->stop();
    // The view goes: its read is not worth the journal's whole time limit. Only this read is
    // called off: a card operation waiting meanwhile goes on.
    task_.CallOff();
}

void JournalRead::Start(std::function<void()> read, std::function<void()> show) {
    ++asked_;
    next_ = Read{std::move(read), std::move(show)};
    Step(true);
}

void JournalRead::Forget() {
    ++asked_;
    next_.reset();
}

void JournalRead::Launch(Read read) {
    launched_ = asked_;
    task_.Start(std::move(read.read), [this, asked = asked_, show = std::move(read.show)] {
        if (asked == asked_)
            show();
    });
}

void JournalRead::Step(bool justAsked) {
    std::chrono::milliseconds grace = justAsked ? kGrace : std::chrono::milliseconds(0);
    for (;;) {
        if (task_.pending()) {
            if (grace.count() > 0)
                task_.EndsWithin(grace);
            task_.Poll();
        }
        if (task_.pending() || !next_)
            break;
        Read read = std::move(*next_);
        next_.reset();
        Launch(std::move(read));
        grace = kGrace; // a read just launched gets the grace too
    }
    if (!task_.pending()) {
        timer_->stop();
        return;
    }
    timer_->start();
    if (launched_ == asked_ || next_)
        label_->setText(journal::kJournalWaiting);
}

} // namespace ostrel::app
