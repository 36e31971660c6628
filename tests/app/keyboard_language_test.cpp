#include "app_test_cards.h"
#include "journal_window.h"
#include "main_kestrix.h"
#include "qt_translations.h"
#include "reader/simulated_reader.h"
#include "simulated_reader_window.h"
#include "window_test_support.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTranslator>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <set>

using namespace ostrel;

namespace {

// The buttons Tab reaches, going once round the window.
std::set<QString> ButtonsReachedWithTab(QWidget& window) {
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    if (!QApplication::focusWidget())
        window.setFocus();
    std::set<QString> reached;
    for (int step = 0; step < 40; ++step) {
        if (auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget()))
            reached.insert(button->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    return reached;
}

std::set<QString> EnabledButtons(const QWidget& window) {
    std::set<QString> names;
    for (const QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->isVisibleTo(&window) && button->isEnabled())
            names.insert(button->objectName());
    }
    return names;
}

} // namespace

TEST(Keyboard, EachMenuItemHasItsOwnMnemonicAndF10OpensTheMenuBar) {
    reader::SimulatedReader simulated;
    reader::SharedState state{simulated};
    app::MainKestrix window(state, app::MakeWorkflowFactories({}));
    window.findChild<QTimer*>("tmrReader")->stop();
    int reopened = 0;
    window.addSimulatedReaderItem([&] { ++reopened; });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    // A hidden item's letter would still be taken from the windows.
    std::set<QKeySequence> mnemonics;
    for (const QAction* item : window.menuBar()->actions()) {
        const QKeySequence mnemonic = QKeySequence::mnemonic(item->text());
        EXPECT_EQ(mnemonic.isEmpty(), !item->isVisible()) << item->objectName().toStdString();
        EXPECT_TRUE(mnemonic.isEmpty() || mnemonics.insert(mnemonic).second)
            << item->objectName().toStdString();
    }
    QTest::keyClick(&window, Qt::Key_F10);
    ASSERT_NE(window.menuBar()->activeAction(), nullptr);
    EXPECT_EQ(window.menuBar()->activeAction()->objectName(), "MNU_FIN");
    EXPECT_TRUE(window.menuBar()->hasFocus());
    QTest::keyClick(window.menuBar(), Qt::Key_Right);
    EXPECT_EQ(window.menuBar()->activeAction()->objectName(), "FORMAT");
    QTest::keyClick(window.menuBar(), Qt::Key_Escape);

    QTest::keyClick(&window, Qt::Key_J, Qt::AltModifier);
    QMdiSubWindow* journal = ChildWindow(window.mdiArea(), "frmJournal");
    ASSERT_NE(journal, nullptr);
    // The journal's own letters are free: its tabs answer them.
    auto* tabs = journal->findChild<QTabWidget*>("tabsJournal");
    for (const auto& [letter, tab] :
         {std::pair{Qt::Key_T, "viewTotals"}, {Qt::Key_I, "viewHistory"}}) {
        QTest::keyClick(&window, letter, Qt::AltModifier);
        EXPECT_EQ(tabs->currentWidget()->objectName(), tab);
    }
    QTest::keyClick(&window, Qt::Key_L, Qt::AltModifier);
    EXPECT_EQ(reopened, 1);
}

TEST(Keyboard, TabReachesEveryButtonOfTheChildWindows) {
    app::JournalWindow journal(nullptr);
    EXPECT_EQ(ButtonsReachedWithTab(journal), EnabledButtons(journal));
    reader::SimulatedReader simulated;
    app::SimulatedReaderWindow reader(simulated, ::testing::TempDir());
    EXPECT_EQ(ButtonsReachedWithTab(reader), EnabledButtons(reader));
    EXPECT_TRUE(EnabledButtons(reader).count("cmdPlug"));
}

// The reader's state is in the line under the window too, beside what is there; the title
// keeps its own texts.
TEST(StatusLine, TellsTheReaderState) {
    reader::SimulatedReader simulated;
    reader::SharedState state{simulated};
    app::MainKestrix window(state, app::MakeWorkflowFactories({}));
    window.findChild<QTimer*>("tmrReader")->stop();
    auto* line = window.findChild<QLabel*>("lblReaderState");
    ASSERT_NE(line, nullptr);
    const struct {
        std::function<void()> change;
        const char* state;
        const char* title;
    } steps[] = {
        {[] {}, "Connecté, pas de carte à l'intérieur", "[Connecté, pas de carte à l'intérieur]"},
        {[&] { simulated.insertCard(TestBlankCard()); }, "Carte à l'intérieur",
         "[Carte à l'intérieur]"},
        {[&] { simulated.unplug(); }, "Non connecté", "[Non connecté!]"},
    };
    for (const auto& step : steps) {
        step.change();
        window.tickReader();
        EXPECT_EQ(line->text().toStdString(), step.state);
        EXPECT_TRUE(window.windowTitle().endsWith(QString::fromUtf8(step.title)));
    }
}

// Qt's own texts in French, from Debian's qt6-translations-l10n.
TEST(Language, QtsOwnDialogsAndMenusSpeakFrench) {
    QTranslator* french = app::InstallQtTranslations(*QCoreApplication::instance());
    if (!french)
        GTEST_SKIP() << "Qt's French translations are not installed (qt6-translations-l10n)";
    QFileDialog dialog(nullptr, "Exporter le journal");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.findChild<QLabel*>("lookInLabel")->text(), "Voir dans :");
    EXPECT_EQ(dialog.findChild<QLabel*>("fileNameLabel")->text(), "&Nom de fichier :");
    QStringList buttons;
    for (const QPushButton* button : dialog.findChildren<QPushButton*>())
        buttons << button->text();
    EXPECT_TRUE(buttons.contains("&Enregistrer")) << buttons.join('|').toStdString();
    EXPECT_TRUE(buttons.contains("Annuler")) << buttons.join('|').toStdString();

    QLineEdit field;
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList items;
    for (const QAction* item : menu->actions()) {
        if (!item->isSeparator())
            items << item->text().section('\t', 0, 0);
    }
    EXPECT_EQ(items.join('|'),
              "&Annuler|&Rétablir|Co&uper|Cop&ier|Co&ller|Supprimer|Tout sélectionner");
    QCoreApplication::removeTranslator(french);
    delete french;
    QLocale::setDefault(QLocale::c());
}
