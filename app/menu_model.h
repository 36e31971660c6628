#pragma once

#include "reader/shared_state.h"

#include <array>

namespace ostrel::app {

// The main window's menu bar, in order: top-level items without sub-menus.
struct MenuItemDefinition {
    const char* objectName;
    const char* caption;
    bool visible;  // nothing shows a hidden item later
    bool enabled;  // at start
    bool cardMenu; // locked by EnableMenu while a workflow window is open
};

// The captions carry their mnemonic (Alt + the letter after &); the words shown are unchanged.
// Hidden items have none: the menu bar would still take their letters from the windows.
inline constexpr std::array<MenuItemDefinition, 9> kMenuItems{{
    {"MNU_FIN", "&Fin", true, true, false},
    {"FORMAT", "F&ormatage", true, true, true},
    {"WRITE_ADMIN", "Carte Administration", false, true, true},
    {"MNU_OPERATOR", "Carte Opérateur", false, true, true},
    {"WRITE_VALUE", "Carte Valeur", false, true, true},
    {"MNU_DISPOSABLE", "&Programmation carte", true, true, true},
    {"MNU_JOURNAL", "&Journal", true, true, false},  // reads only: open while a card is written
    {"MNU_SETTINGS", "&Réglages", true, true, true}, // the reader must not change under a card
    {"ABOUT", "A propos", false, false, false},
}};

// Shown with the simulated reader only, after the items above: reopens its window.
inline constexpr const char* kSimulatedReaderItem = "MNU_SIMULATED_READER";
inline constexpr const char* kSimulatedReaderCaption = "&Lecteur simulé";

// "Aide", a menu last on the bar (after "Lecteur simulé" too): "À propos" and "Manuel".
inline constexpr const char* kHelpMenu = "MNU_HELP";
inline constexpr const char* kHelpCaption = "&Aide";
inline constexpr const char* kAboutItem = "MNU_ABOUT";
inline constexpr const char* kAboutCaption = "À &propos";
inline constexpr const char* kManualItem = "MNU_MANUAL";
inline constexpr const char* kManualCaption = "&Manuel";

inline constexpr const char* kTextRemoveCard = "Retirez la carte du lecteur !";
inline constexpr const char* kTextCloseWorkflow =
    "Une fenêtre de travail est ouverte : fermez-la avant de remplacer une carte";

// A card in the reader refuses every card command.
inline bool CardInsideRefuses(const reader::SharedState& state) {
    return state.ReaderState == reader::kReaderCardInside;
}

// What "Fin" closes, first match wins.
enum class FinTarget { FormatWindow, DisposableWindow, Program };

inline FinTarget ChooseFinTarget(const reader::SharedState& state) {
    if (state.FormatActive)
        return FinTarget::FormatWindow;
    if (state.DisposableActive)
        return FinTarget::DisposableWindow;
    return FinTarget::Program;
}

} // namespace ostrel::app
