#pragma once

#include "base/waiting.h"
#include "journal/card_standing.h"
#include "journal/journal.h"
#include "workflows/replacement.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTextEdit;

namespace ostrel::app {

class JournalRead;

// One card's history: every operation on it, oldest first, and for the chosen one the card's
// 256 bytes before and after side by side in the dump's layout, the bytes that changed marked.
// The card is put in opposition, its opposition lifted, or it is replaced from here. The
// journal is read and written beside the window's thread.
class CardHistoryView : public QWidget {
    Q_OBJECT
public:
    // writer: who records the oppositions; waiting: what the journal's waits run within, called
    // off when the view goes.
    explicit CardHistoryView(journal::Writer writer, base::Waiting* waiting = nullptr,
                             QWidget* parent = nullptr);

    // The history of entry's card with entry chosen, once read; a card that held no serial has
    // only this entry.
    void ShowCardOf(const journal::Entry& entry);

    // Reads the history of the serial as typed.
    void Refresh();

    // A read or a write of the journal runs.
    bool reading() const;

    // Opens the format window for the replacement; false with the refusal.
    std::function<bool(const workflows::Replacement&, std::string& refusal)> replaceCard;
    // Asks the reason of an opposition; nothing when cancelled. Asks a yes or no; tells a
    // refusal. Modal by default; tests replace them.
    std::function<std::optional<QString>(std::int64_t serial)> askReason;
    std::function<bool(const QString& question)> confirm;
    std::function<void(const QString& text)> tell;

private:
    // Reads serial's history, then shows it with chosenId chosen (0: the newest).
    void Read(std::int64_t serial, std::int64_t chosenId);
    void ShowEntries(std::int64_t chosenId);
    void ShowBytes();
    // The buttons follow the card shown and its standing.
    void ShowStanding();
    void Oppose();
    void Lift();
    void Replace(std::int64_t serial, bool force);
    // What the journal answered to an opposition or a lifting: refusals told, then the history
    // read again.
    void Done(bool ok, const std::string& error);

    journal::Writer writer_;
    std::vector<journal::Entry> entries_;
    std::optional<std::int64_t> serial_; // the card whose history was read
    journal::CardStanding standing_;
    QLineEdit* txtSerial_;
    QPushButton* cmdOppose_;
    QPushButton* cmdLift_;
    QPushButton* cmdReplace_;
    QTableWidget* lstHistory_;
    QTextEdit* txtBytes_;
    QLabel* lblInfo_;
    JournalRead* read_;
    JournalRead* act_; // an opposition, a lifting, a replacement's preparation
};

} // namespace ostrel::app
