#include "main_kestrix.h"

#include "base/twips.h"
#include "dump_window.h"
#include "mdi_child_style.h"
#include "menu_bar_style.h"
#include "status_line.h"
#include "welcome_window.h"
#include "window_title.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>

#include <utility>

namespace ostrel::app {

MainKestrix::MainKestrix(reader::SharedState& state, WorkflowFactories factories, QWidget* parent)
    : QMainWindow(parent), state_(state), factories_(std::move(factories)),
      mdi_(new QMdiArea(this)), childStyle_(new MdiChildStyle), tmrReader_(new QTimer(this)),
      lblStatus_(new QLabel(this)), lblStation_(new QLabel(this)),
      lblReaderState_(new QLabel(this)), monitor_(state, *this) {
    setObjectName("MainKestrix");
    childStyle_->setParent(this);
    mdi_->setObjectName("mdiArea");
    setCentralWidget(mdi_);
    // The constant title until the first tick adds the reader state.
    setWindowTitle(kWindowTitle);
    resize(base::TwipsToPixels(12900), base::TwipsToPixels(9600));
    buildMenus();
    lblStatus_->setObjectName("lblStatus");
    statusBar()->addWidget(lblStatus_, 1);
    lblStation_->setObjectName("lblStation");
    statusBar()->addPermanentWidget(lblStation_);
    lblReaderState_->setObjectName("lblReaderState");
    statusBar()->addPermanentWidget(lblReaderState_);
    showRefusal = [this](const QString& text) { showDefaultRefusal(text); };

    // Load.
    tmrReader_->setObjectName("tmrReader");
    connect(tmrReader_, &QTimer::timeout, this, &MainKestrix::tickReader);
    tmrReader_->setInterval(ReaderMonitor::kTickMilliseconds);
    tmrReader_->start();
    showWelcome();
}

MainKestrix::~MainKestrix() {
    if (endProgram())
        return;
    // Children that refused to close go too: they must not outlive this window.
    for (QMdiSubWindow* child : mdi_->subWindowList())
        delete child;
    tmrReader_->stop();
    monitor_.closeReader();
}

void MainKestrix::tickReader() {
    // The reader's status changes only with what the monitor sees change: a quiet tick builds
    // no text.
    if (monitor_.tick() && readerStatus_)
        setReaderStatus(readerStatus_());
    // Likewise the count of outcomes waiting for the server: its text only when it changed.
    if (pendingSource_) {
        const std::size_t pending = pendingSource_();
        if (pending != pendingCount_) {
            pendingCount_ = pending;
            pendingText_ = PendingOutcomesText(pending);
            showStatusLine();
        }
    }
}

void MainKestrix::setPendingSource(std::function<std::size_t()> source) {
    pendingSource_ = std::move(source);
}

void MainKestrix::setReaderStatusSource(std::function<std::string()> source) {
    readerStatus_ = std::move(source);
    if (readerStatus_)
        setReaderStatus(readerStatus_());
}

void MainKestrix::setReaderStatus(const std::string& text) {
    if (text == readerStatusText_)
        return;
    readerStatusText_ = text;
    showStatusLine();
}

void MainKestrix::setStationStatus(const std::string& text) {
    lblStation_->setText(QString::fromStdString(text));
}

void MainKestrix::afterWorkflows(std::function<void()> then) {
    afterWorkflows_ = std::move(then);
    if (!state_.FormatActive && !state_.DisposableActive)
        std::exchange(afterWorkflows_, nullptr)();
}

void MainKestrix::setCardSecurity(const std::string& text) {
    cardSecurity_ = text;
    showStatusLine();
}

void MainKestrix::ShowWaiting(const std::string& text) {
    if (text == waiting_)
        return;
    waiting_ = text;
    showStatusLine();
}

void MainKestrix::ShowWarning(const std::string& text) {
    if (text == warning_)
        return;
    warning_ = text;
    showStatusLine();
}

void MainKestrix::showStatusLine() {
    std::string line = waiting_.empty() ? readerStatusText_ : waiting_ + " — " + readerStatusText_;
    if (!cardSecurity_.empty())
        line += (line.empty() ? "" : " — ") + std::string("carte : ") + cardSecurity_;
    if (!pendingText_.empty())
        line += (line.empty() ? "" : " — ") + pendingText_;
    if (!warning_.empty())
        line = "attention : " + warning_ + (line.empty() ? "" : " — " + line);
    lblStatus_->setText(QString::fromStdString(line));
}

void MainKestrix::buildMenus() {
    auto* keyboardStyle = new MenuBarStyle;
    keyboardStyle->setParent(this);
    menuBar()->setStyle(keyboardStyle);
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, this, &MainKestrix::openMenuBar);
    for (std::size_t i = 0; i < kMenuItems.size(); ++i) {
        const MenuItemDefinition& item = kMenuItems[i];
        QAction* entry = menuBar()->addAction(QString::fromUtf8(item.caption));
        entry->setObjectName(item.objectName);
        entry->setVisible(item.visible);
        entry->setEnabled(item.enabled);
        actions_[i] = entry;
    }
    connect(action("MNU_FIN"), &QAction::triggered, this, &MainKestrix::onFin);
    connect(action("FORMAT"), &QAction::triggered, this,
            [this] { openWorkflow(format_, factories_.format); });
    connect(action("MNU_DISPOSABLE"), &QAction::triggered, this,
            [this] { openWorkflow(disposable_, factories_.disposable); });
    connect(action("MNU_JOURNAL"), &QAction::triggered, this, &MainKestrix::openJournal);
    connect(action("MNU_SETTINGS"), &QAction::triggered, this, &MainKestrix::openSettings);
    auto* help = menuBar()->addMenu(QString::fromUtf8(kHelpCaption));
    helpMenu_ = help->menuAction();
    helpMenu_->setObjectName(kHelpMenu);
    QAction* about = help->addAction(QString::fromUtf8(kAboutCaption));
    about->setObjectName(kAboutItem);
    connect(about, &QAction::triggered, this, [this] {
        if (factories_.about)
            factories_.about(this);
    });
    QAction* manual = help->addAction(QString::fromUtf8(kManualCaption));
    manual->setObjectName(kManualItem);
    connect(manual, &QAction::triggered, this, [this] {
        if (factories_.manual)
            factories_.manual(this);
    });
    for (const char* name : {"WRITE_ADMIN", "MNU_OPERATOR", "WRITE_VALUE"}) {
        connect(action(name), &QAction::triggered, this, &MainKestrix::onCardCommand);
    }
}

void MainKestrix::openMenuBar() {
    // As Alt alone does with the keyboard style: the first item lit, the bar taking the keys.
    for (QAction* item : menuBar()->actions()) {
        if (item->isVisible() && item->isEnabled()) {
            menuBar()->setFocus(Qt::MenuBarFocusReason);
            menuBar()->setActiveAction(item);
            return;
        }
    }
}

void MainKestrix::addSimulatedReaderItem(std::function<void()> reopen) {
    auto* entry = new QAction(QString::fromUtf8(kSimulatedReaderCaption), menuBar());
    entry->setObjectName(kSimulatedReaderItem);
    menuBar()->insertAction(helpMenu_, entry); // "Aide" stays last
    connect(entry, &QAction::triggered, this, std::move(reopen));
}

QAction* MainKestrix::action(const char* objectName) const {
    for (std::size_t i = 0; i < kMenuItems.size(); ++i) {
        if (std::string_view(kMenuItems[i].objectName) == objectName)
            return actions_[i];
    }
    return nullptr;
}

void MainKestrix::EnableMenu(bool enable) {
    for (std::size_t i = 0; i < kMenuItems.size(); ++i) {
        if (kMenuItems[i].cardMenu)
            actions_[i]->setEnabled(enable);
    }
}

void MainKestrix::setCaption(const std::string& caption) {
    if (caption == caption_)
        return; // the same title again would only cost a repaint
    caption_ = caption;
    setWindowTitle(QString::fromStdString(caption_));
    lblReaderState_->setText(QString::fromStdString(ReaderStateText(caption_)));
}

QMdiSubWindow* MainKestrix::addChild(QWidget* widget) {
    QMdiSubWindow* child = mdi_->addSubWindow(widget);
    child->setAttribute(Qt::WA_DeleteOnClose);
    child->setStyle(childStyle_);
    // Another child gone, the open workflow window comes back in front: left to the area, the
    // welcome picture would, over the greyed card menus, with nothing saying why.
    // Queued: while the child is being destroyed, a pointer to it (a workflow window itself)
    // must not be looked at; once it is gone, the pointers are cleared.
    connect(
        child, &QObject::destroyed, this,
        [this] {
            if (ended_)
                return;
            showWorkflow();
            if (afterWorkflows_ && !state_.FormatActive && !state_.DisposableActive)
                std::exchange(afterWorkflows_, nullptr)();
        },
        Qt::QueuedConnection);
    return child;
}

void MainKestrix::fitChild(QMdiSubWindow* child) {
    // On a small screen a child never reaches past the main window's client area, where its
    // buttons could not be reached.
    const QSize room = mdi_->viewport()->size();
    if (child->width() <= room.width() && child->height() <= room.height())
        return;
    child->setGeometry(QRect(QPoint(0, 0), child->size().boundedTo(room)));
}

void MainKestrix::unloadChild(QPointer<QMdiSubWindow>& window) {
    if (!window)
        return;
    if (window->close())
        delete window.data();
}

void MainKestrix::showDump() {
    unloadChild(dump_); // a dump is only ever built for the card just read
    dump_ = addChild(new DumpWindow(state_, factories_.checkCard));
    dump_->showMaximized();
}

void MainKestrix::unloadDump() {
    unloadChild(dump_);
    if (!cardSecurity_.empty()) {
        cardSecurity_.clear();
        showStatusLine();
    }
}

void MainKestrix::showWelcome() {
    if (!welcome_) {
        welcome_ = addChild(new WelcomeWindow);
        welcome_->showMaximized();
        return;
    }
    if (mdi_->currentSubWindow() != welcome_)
        mdi_->setActiveSubWindow(welcome_);
    if (!welcome_->isMaximized())
        welcome_->showMaximized();
}

void MainKestrix::showWorkflow() {
    QMdiSubWindow* window = format_ ? format_.data() : disposable_.data();
    if (window)
        mdi_->setActiveSubWindow(window);
}

workflows::CardEvents* MainKestrix::formatWindow() {
    return format_ ? dynamic_cast<workflows::CardEvents*>(format_->widget()) : nullptr;
}

workflows::CardEvents* MainKestrix::disposableWindow() {
    return disposable_ ? dynamic_cast<workflows::CardEvents*>(disposable_->widget()) : nullptr;
}

void MainKestrix::openWorkflow(QPointer<QMdiSubWindow>& window,
                               const WorkflowWindowFactory& factory) {
    if (CardInsideRefuses(state_)) {
        showRefusal(kTextRemoveCard);
        return;
    }
    if (window) {
        mdi_->setActiveSubWindow(window);
        return;
    }
    if (!factory)
        return;
    QWidget* widget = factory(state_, *this);
    if (!widget)
        return;
    window = addChild(widget);
    window->show();
    fitChild(window);
}

// The journal only reads: it opens whatever the reader holds and whatever window is open.
void MainKestrix::openJournal() {
    if (journal_) {
        mdi_->setActiveSubWindow(journal_);
        return;
    }
    if (!factories_.journal)
        return;
    journal_ = addChild(
        factories_.journal([this](const workflows::Replacement& replacement, std::string& refusal) {
            return openReplacement(replacement, refusal);
        }));
    journal_->show();
    fitChild(journal_);
}

bool MainKestrix::openReplacement(const workflows::Replacement& replacement, std::string& refusal) {
    if (format_ || disposable_) {
        refusal = kTextCloseWorkflow;
        return false;
    }
    if (CardInsideRefuses(state_)) {
        refusal = kTextRemoveCard;
        return false;
    }
    QWidget* widget =
        factories_.replacement ? factories_.replacement(state_, *this, replacement) : nullptr;
    if (!widget) {
        refusal = "aucune fenêtre de formatage dans ce programme";
        return false;
    }
    format_ = addChild(widget);
    format_->show();
    fitChild(format_);
    mdi_->setActiveSubWindow(format_);
    return true;
}

// Open with a card inside too: "Essayer" identifies it. Locked with the card menus while a
// workflow window is open, so that the reader does not change under a card.
void MainKestrix::openSettings() {
    if (settings_) {
        mdi_->setActiveSubWindow(settings_);
        return;
    }
    if (!factories_.settings)
        return;
    settings_ = addChild(factories_.settings());
    settings_->show();
}

void MainKestrix::onCardCommand() {
    if (CardInsideRefuses(state_))
        showRefusal(kTextRemoveCard);
}

void MainKestrix::onFin() {
    switch (ChooseFinTarget(state_)) {
    case FinTarget::FormatWindow:
        unloadChild(format_);
        break;
    case FinTarget::DisposableWindow:
        unloadChild(disposable_);
        break;
    case FinTarget::Program:
        close();
        break;
    }
}

bool MainKestrix::endProgram() {
    if (ended_)
        return true;
    // The workflow windows first: their unload still talks to this window.
    for (QPointer<QMdiSubWindow>* child :
         {&format_, &disposable_, &dump_, &welcome_, &journal_, &settings_}) {
        unloadChild(*child);
        if (*child)
            return false;
    }
    for (QMdiSubWindow* child : mdi_->subWindowList()) {
        if (!child->close())
            return false;
        delete child;
    }
    tmrReader_->stop();
    monitor_.closeReader();
    ended_ = true;
    return true;
}

void MainKestrix::closeEvent(QCloseEvent* event) {
    if (endProgram()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void MainKestrix::showDefaultRefusal(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, this);
    box.exec();
}

} // namespace ostrel::app
