#pragma once

#include "reader/simulated_reader.h"

#include <QWidget>

#include <string>

class QLabel;
class QListWidget;
class QPushButton;

namespace ostrel::app {

// "Lecteur simulé": what a person does with a real reader, done to the simulated one: plug and
// unplug it, insert a card of the deck, remove it. The reader monitor sees each change on its
// next tick, as it would with a real reader.
class SimulatedReaderWindow : public QWidget {
    Q_OBJECT
public:
    SimulatedReaderWindow(reader::SimulatedReader& reader, std::string deckFolder,
                          QWidget* parent = nullptr);
    ~SimulatedReaderWindow() override;

    static constexpr const char* kCaption = "Lecteur simulé";

    // Lists the deck folder again.
    void refreshDeck();

    // Places the window beside anchor (a frame rectangle), inside available, the screen's area
    // without panels: on the right if it fits, else on the left, else over anchor's right edge.
    // frameSize is limited to available first.
    static QRect PlaceBeside(const QRect& anchor, QSize frameSize, const QRect& available);

    // Where the main window's frame and this window's go, inside available. Beside each other
    // where there is room, this window narrowed down to minimumWidth if need be; when neither
    // side of the main window has room, the main window goes to the left edge, and then, if
    // there is still no room, this window at its narrowest against the right edge, over the
    // main window.
    struct Places {
        QRect main;
        QRect reader;
    };
    static Places PlaceWithMain(const QRect& mainFrame, QSize frameSize, int minimumWidth,
                                const QRect& available);

private:
    void togglePlug();
    void insertSelected();
    void removeCard();
    void updateState();

    reader::SimulatedReader& reader_;
    std::string deckFolder_;
    std::string insertedName_;
    QLabel* lblReader_;
    QLabel* lblCard_;
    QLabel* lblError_;
    QLabel* lblDescription_; // what the selected card is
    QListWidget* lstDeck_;
    QPushButton* cmdPlug_;
    QPushButton* cmdInsert_;
    QPushButton* cmdRemove_;
    QPushButton* cmdRefresh_;
};

} // namespace ostrel::app
