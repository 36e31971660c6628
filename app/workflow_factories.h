#pragma once

#include "app_options.h"
#include "base/waiting.h"
#include "dump_window.h"
#include "journal/journal.h"
#include "reader/shared_state.h"
#include "workflows/replacement.h"
#include "workflows/serial_series.h"
#include "workflows/workflow_host.h"

#include <QWidget>

#include <functional>

namespace ostrel::app {

// Creates and loads a workflow window. The widget also implements workflows::CardEvents.
using WorkflowWindowFactory =
    std::function<QWidget*(reader::SharedState&, workflows::WorkflowHost&)>;

// Creates a window of its own ("Réglages").
using JournalWindowFactory = std::function<QWidget*()>;

// Opens the format window replacing a lost card; false with the refusal when it cannot be.
using ReplaceCard = std::function<bool(const workflows::Replacement&, std::string& refusal)>;

// Creates the journal window, whose card history asks replace for a replacement.
using JournalFactory = std::function<QWidget*(ReplaceCard replace)>;

// Creates and loads the format window for a replacement.
using ReplacementWindowFactory = std::function<QWidget*(
    reader::SharedState&, workflows::WorkflowHost&, const workflows::Replacement&)>;

struct WorkflowFactories {
    WorkflowWindowFactory format;                // "Formatage"
    ReplacementWindowFactory replacement;        // "Formatage" for a lost card's value
    WorkflowWindowFactory disposable;            // "Programmation carte"
    JournalFactory journal;                      // "Journal"
    JournalCheck checkCard;                      // what the dump adds to a formatted card
    JournalWindowFactory settings;               // "Réglages"
    std::function<void(QWidget* parent)> about;  // "Aide", "À propos"
    std::function<void(QWidget* parent)> manual; // "Aide", "Manuel"
};

// The windows the menus open; the options carry the configuration file they read, journal is
// where the workflows record the cards they write (it outlives the windows), waiting what they
// wait for it and the configuration within, series where the formatting takes its serials when
// not from the configuration file (both outlive them too).
WorkflowFactories MakeWorkflowFactories(const AppOptions& options, journal::Writer journal = {},
                                        base::Waiting* waiting = nullptr,
                                        workflows::SerialSeries* series = nullptr);

} // namespace ostrel::app
