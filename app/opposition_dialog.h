#pragma once

#include <QString>

#include <cstdint>
#include <optional>

class QWidget;

namespace ostrel::app {

// Asks, modally, why serial goes into opposition (lost, stolen…). OK with no reason is refused
// in the dialog itself, which stays open; nothing when the operator cancels.
std::optional<QString> AskOppositionReason(QWidget* parent, std::int64_t serial);

} // namespace ostrel::app
