#include "simulated_reader_window.h"

#include "card_deck.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <optional>

namespace ostrel::app {

SimulatedReaderWindow::SimulatedReaderWindow(reader::SimulatedReader& reader,
                                             std::string deckFolder, QWidget* parent)
    : QWidget(parent), reader_(reader), deckFolder_(std::move(deckFolder)),
      lblReader_(new QLabel(this)), lblCard_(new QLabel(this)), lblError_(new QLabel(this)),
      lblDescription_(new QLabel(this)), lstDeck_(new QListWidget(this)),
      cmdPlug_(new QPushButton(this)), cmdInsert_(new QPushButton("Insérer la carte", this)),
      cmdRemove_(new QPushButton("Retirer la carte", this)),
      cmdRefresh_(new QPushButton("Actualiser", this)) {
    setObjectName("frmSimulatedReader");
    setWindowTitle(kCaption);
    // Closing this window must not keep the program running, nor end it.
    setAttribute(Qt::WA_QuitOnClose, false);

    lblReader_->setObjectName("lblReader");
    lblCard_->setObjectName("lblCard");
    lblCard_->setWordWrap(true);
    lblError_->setObjectName("lblError");
    lblError_->setWordWrap(true);
    QPalette red = lblError_->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lblError_->setPalette(red);
    lblDescription_->setObjectName("lblDescription");
    lblDescription_->setWordWrap(true);
    lstDeck_->setObjectName("lstDeck");
    cmdPlug_->setObjectName("cmdPlug");
    cmdInsert_->setObjectName("cmdInsert");
    cmdRemove_->setObjectName("cmdRemove");
    cmdRefresh_->setObjectName("cmdRefresh");

    auto* cardButtons = new QHBoxLayout;
    cardButtons->addWidget(cmdInsert_);
    cardButtons->addWidget(cmdRemove_);
    cardButtons->addWidget(cmdRefresh_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblReader_);
    layout->addWidget(cmdPlug_);
    // A long folder name wraps instead of widening the window.
    auto* deckLabel = new QLabel(
        QString("Cartes du dossier %1 :").arg(QString::fromStdString(deckFolder_)), this);
    deckLabel->setWordWrap(true);
    layout->addWidget(deckLabel);
    layout->addWidget(lstDeck_, 1);
    layout->addWidget(lblDescription_);
    layout->addLayout(cardButtons);
    layout->addWidget(lblCard_);
    layout->addWidget(lblError_);

    connect(cmdPlug_, &QPushButton::clicked, this, &SimulatedReaderWindow::togglePlug);
    connect(cmdInsert_, &QPushButton::clicked, this, &SimulatedReaderWindow::insertSelected);
    connect(lstDeck_, &QListWidget::itemDoubleClicked, this,
            &SimulatedReaderWindow::insertSelected);
    connect(lstDeck_, &QListWidget::currentRowChanged, this, &SimulatedReaderWindow::updateState);
    connect(cmdRemove_, &QPushButton::clicked, this, &SimulatedReaderWindow::removeCard);
    connect(cmdRefresh_, &QPushButton::clicked, this, &SimulatedReaderWindow::refreshDeck);

    // A card put in at start-up (a card file given on the command line).
    if (reader_.card())
        insertedName_ = std::filesystem::path(reader_.card()->path()).stem().string();
    // A write to the card changes what it is: a blank card just formatted is no longer blank.
    reader_.setCardChangedHandler([this] {
        // The workflow windows only see the reader's error number; the reason is told here.
        lblError_->setText(QString::fromStdString(reader_.lastSaveError()));
        updateState();
    });
    refreshDeck();
    resize(420, 460);
}

SimulatedReaderWindow::~SimulatedReaderWindow() {
    reader_.setCardChangedHandler({});
}

QRect SimulatedReaderWindow::PlaceBeside(const QRect& anchor, QSize frameSize,
                                         const QRect& available) {
    constexpr int kGap = 12;
    frameSize = frameSize.boundedTo(available.size());
    int x = anchor.right() + 1 + kGap;
    if (x + frameSize.width() - 1 > available.right()) {
        x = anchor.left() - kGap - frameSize.width();
        if (x < available.left())
            x = available.right() + 1 - frameSize.width();
    }
    const int y =
        std::clamp(anchor.top(), available.top(), available.bottom() + 1 - frameSize.height());
    return {QPoint(x, y), frameSize};
}

SimulatedReaderWindow::Places SimulatedReaderWindow::PlaceWithMain(const QRect& mainFrame,
                                                                   QSize frameSize,
                                                                   int minimumWidth,
                                                                   const QRect& available) {
    constexpr int kGap = 12; // as PlaceBeside leaves
    frameSize = frameSize.boundedTo(available.size());
    minimumWidth = std::min(minimumWidth, frameSize.width());
    const auto beside = [&](const QRect& main) -> std::optional<Places> {
        const int room =
            std::max(available.right() - main.right(), main.left() - available.left()) - kGap;
        if (room < minimumWidth)
            return std::nullopt;
        const QSize size(std::min(frameSize.width(), room), frameSize.height());
        return Places{main, PlaceBeside(main, size, available)};
    };
    if (const auto places = beside(mainFrame))
        return *places;
    const QRect left(QPoint(available.left(), mainFrame.top()), mainFrame.size());
    if (const auto places = beside(left))
        return *places;
    const QSize narrowest(minimumWidth, frameSize.height());
    return {left, PlaceBeside(left, narrowest, available)};
}

void SimulatedReaderWindow::refreshDeck() {
    lstDeck_->clear();
    for (const DeckCard& card : ListDeck(deckFolder_)) {
        auto* item = new QListWidgetItem(QString::fromStdString(card.name), lstDeck_);
        item->setData(Qt::UserRole, QString::fromStdString(card.path));
        item->setToolTip(QString::fromStdString(card.description));
    }
    if (lstDeck_->count() > 0)
        lstDeck_->setCurrentRow(0);
    updateState();
}

void SimulatedReaderWindow::togglePlug() {
    if (reader_.plugged()) {
        reader_.unplug();
    } else {
        reader_.plug();
    }
    lblError_->clear();
    updateState();
}

void SimulatedReaderWindow::insertSelected() {
    const QListWidgetItem* item = lstDeck_->currentItem();
    if (!item || reader_.card())
        return;
    std::string error;
    if (!InsertDeckCard(reader_, item->data(Qt::UserRole).toString().toStdString(), error)) {
        lblError_->setText(QString::fromStdString(error));
    } else {
        insertedName_ = item->text().toStdString();
        lblError_->clear();
    }
    updateState();
}

void SimulatedReaderWindow::removeCard() {
    reader_.removeCard();
    insertedName_.clear();
    lblError_->clear();
    updateState();
}

void SimulatedReaderWindow::updateState() {
    lblReader_->setText(reader_.plugged() ? "Lecteur branché" : "Lecteur débranché");
    cmdPlug_->setText(reader_.plugged() ? "Débrancher le lecteur" : "Brancher le lecteur");
    const std::string inReader = reader_.card() ? DescribeCard(reader_.card()->chip()) : "";
    if (reader_.card()) {
        lblCard_->setText(
            QString("Carte dans le lecteur : %1 (%2)")
                .arg(QString::fromStdString(insertedName_), QString::fromStdString(inReader)));
    } else {
        lblCard_->setText("Pas de carte dans le lecteur");
    }
    // One card at a time, as in a real slot: the card inside comes out before another goes in.
    cmdInsert_->setEnabled(!reader_.card() && lstDeck_->currentItem() != nullptr);
    cmdRemove_->setEnabled(reader_.card() != nullptr);
    // The file's comment tells what the card was when the file was made; the card in the
    // reader is described by what it holds now.
    const QListWidgetItem* selected = lstDeck_->currentItem();
    const bool selectedInReader =
        selected && reader_.card() &&
        selected->data(Qt::UserRole).toString().toStdString() == reader_.card()->path();
    lblDescription_->setText(selectedInReader ? QString::fromStdString(inReader)
                             : selected       ? selected->toolTip()
                                              : QString());
}

} // namespace ostrel::app
