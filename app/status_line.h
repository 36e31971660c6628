#pragma once

#include "reader/reader_status.h"

#include <string>

namespace ostrel::app {

// The reader's part of the status line under the main window: the reader in use and its
// command set, or why the reader could not speak to the card. source is null for the simulated
// reader, which has no command set.
std::string ReaderStatusLine(const reader::ReaderStatusSource* source);

// "N résultat(s) en attente d'envoi": operations finished on a card whose end the server has
// not been told yet; empty when none waits.
std::string PendingOutcomesText(std::size_t count);

// The station's name and where its record is: "Guichet 1 — serveur ostrel@server.example"
// (the database and its host) or "Guichet 1 — journal de ce poste".
std::string StationStatusText(const std::string& station, const std::string& server);

// The reader's state as the status line tells it, from the title the monitor set: "Non
// connecté", "Connecté, pas de carte à l'intérieur", "Carte à l'intérieur"; empty before the
// first tick.
std::string ReaderStateText(const std::string& caption);

} // namespace ostrel::app
