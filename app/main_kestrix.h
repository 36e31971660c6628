#pragma once

#include "menu_model.h"
#include "monitor_view.h"
#include "reader_monitor.h"
#include "workflow_factories.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <string>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QStyle;
class QTimer;

namespace ostrel::app {

// The main window: a multiple-document area holding every other window, the menu bar, and the
// timer that drives the reader monitor.
class MainKestrix : public QMainWindow, public MonitorView, public workflows::WorkflowHost {
    Q_OBJECT
public:
    MainKestrix(reader::SharedState& state, WorkflowFactories factories, QWidget* parent = nullptr);
    ~MainKestrix() override;

    // MonitorView
    void setCaption(const std::string& caption) override;
    void showDump() override;
    void unloadDump() override;
    void setCardSecurity(const std::string& text) override;
    void showWelcome() override;
    void showWorkflow() override;
    workflows::CardEvents* formatWindow() override;
    workflows::CardEvents* disposableWindow() override;

    // WorkflowHost: locks or unlocks the card menus; says what the open workflow waits for.
    void EnableMenu(bool enable) override;
    void ShowWaiting(const std::string& text) override;
    void ShowWarning(const std::string& text) override;

    ReaderMonitor& monitor() { return monitor_; }
    // What each tick of tmrReader does: the monitor's tick, then the status line.
    void tickReader();

    // The status line under the window: the reader's part, asked of source after every tick.
    void setReaderStatusSource(std::function<std::string()> source);
    // How many outcomes wait to be sent to the journal's server; read at every tick, without
    // waiting for the server.
    void setPendingSource(std::function<std::size_t()> source);
    void setReaderStatus(const std::string& text);
    // The windows the menus open from now on (the settings changed the journal or the station).
    void setFactories(WorkflowFactories factories) { factories_ = std::move(factories); }
    // Runs then at once when no card workflow window is open, else once the last one has gone
    // (only the latest then given runs).
    void afterWorkflows(std::function<void()> then);
    // The station's name and where its record is, beside the reader's state.
    void setStationStatus(const std::string& text);
    QMdiArea* mdiArea() const { return mdi_; }

    // Opens the format window for a lost card's replacement; refused, with the reason, while a
    // card workflow window is open or a card is in the reader.
    bool openReplacement(const workflows::Replacement& replacement, std::string& refusal);

    // Adds the "Lecteur simulé" item, which calls reopen: the simulated reader's window, once
    // closed, comes back from there.
    void addSimulatedReaderItem(std::function<void()> reopen);

    // Shows the card-inside refusal, modally. Tests replace it so that nothing blocks.
    std::function<void(const QString& text)> showRefusal;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showStatusLine();
    void buildMenus();
    // F10: the menu bar takes the keyboard, as Alt alone does.
    void openMenuBar();
    QAction* action(const char* objectName) const;
    void onFin();
    void onCardCommand();
    void openWorkflow(QPointer<QMdiSubWindow>& window, const WorkflowWindowFactory& factory);
    void openJournal();
    void openSettings();
    QMdiSubWindow* addChild(QWidget* widget);
    void fitChild(QMdiSubWindow* child);
    // Closes and deletes the child; it stays when it refuses to close.
    static void unloadChild(QPointer<QMdiSubWindow>& window);
    // Children first, then the reader. False when a child refused to close.
    bool endProgram();
    void showDefaultRefusal(const QString& text);

    reader::SharedState& state_;
    WorkflowFactories factories_;
    QMdiArea* mdi_;
    QStyle* childStyle_; // a child of this window, created after the area so that it outlives it
    QTimer* tmrReader_;
    QLabel* lblStatus_;
    QLabel* lblStation_;
    QLabel* lblReaderState_; // beside the rest, at the right end of the line
    QAction* helpMenu_ = nullptr;
    std::function<std::string()> readerStatus_;
    // The status line's two parts: the reader's, and the security state of the card the dump
    // shows (empty while it shows none).
    std::string readerStatusText_;
    std::string cardSecurity_;
    std::string waiting_; // what the open workflow waits for, first in the line while it waits
    std::function<std::size_t()> pendingSource_;
    std::size_t pendingCount_ = 0; // outcomes the server has not been told yet
    std::string pendingText_;
    std::string warning_; // about the journal, first of all while there is one
    std::function<void()> afterWorkflows_;
    ReaderMonitor monitor_;
    std::array<QAction*, kMenuItems.size()> actions_{};
    QPointer<QMdiSubWindow> welcome_;
    QPointer<QMdiSubWindow> dump_;
    QPointer<QMdiSubWindow> format_;
    QPointer<QMdiSubWindow> disposable_;
    QPointer<QMdiSubWindow> journal_;
    QPointer<QMdiSubWindow> settings_;
    std::string caption_;
    bool ended_ = false;
};

} // namespace ostrel::app
