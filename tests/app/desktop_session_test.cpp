#include "admin_program.h"
#include "main_kestrix.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

// ostrel-admin on the simulated reader under a real X server (Xvfb) and window manager
// (openbox), both started here on a free display and stopped at the end: where the windows'
// frames land, F10, and the menu item that brings "Lecteur simulé" back. Run as
// "app_desktop_tests WxH"; exits 77 (skipped) without Xvfb or openbox.

namespace {

constexpr int kSkipped = 77;

// The screen of this run, set once from the command line.
QSize& Screen() {
    static QSize size;
    return size;
}

// Xvfb on the first free display from a number of our own, then openbox on it; both are
// stopped when this goes.
class XSession {
public:
    ~XSession() {
        for (QProcess* p : {&openbox_, &xvfb_}) {
            p->terminate();
            if (!p->waitForFinished(3000))
                p->kill();
            p->waitForFinished(3000);
        }
    }

    bool Start(const QSize& screen, const QString& folder, std::string& why) {
        for (int n = 60 + ::getpid() % 200, tries = 0; tries < 40; ++n, ++tries) {
            if (QFile::exists(QString("/tmp/.X%1-lock").arg(n)))
                continue;
            xvfb_.start("Xvfb", {QString(":%1").arg(n), "-screen", "0",
                                 QString("%1x%2x24").arg(screen.width()).arg(screen.height()),
                                 "-nolisten", "tcp"});
            const QString socket = QString("/tmp/.X11-unix/X%1").arg(n);
            if (!xvfb_.waitForStarted(5000) ||
                !QTest::qWaitFor(
                    [&] { return QFile::exists(socket) || xvfb_.state() == QProcess::NotRunning; },
                    10000) ||
                xvfb_.state() == QProcess::NotRunning)
                continue; // taken meanwhile: the next one
            display_ = QString(":%1").arg(n);
            break;
        }
        if (display_.isEmpty()) {
            why = "no free display for Xvfb";
            return false;
        }
        // openbox runs its start-up command once it manages the screen.
        const QString ready = folder + "/openbox-ready";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display_);
        openbox_.setProcessEnvironment(environment);
        openbox_.start("openbox", {"--sm-disable", "--startup", "touch " + ready});
        if (!QTest::qWaitFor([&] { return QFile::exists(ready); }, 15000)) {
            why = "openbox did not start";
            return false;
        }
        return true;
    }

    QString display() const { return display_; }

private:
    QProcess xvfb_;
    QProcess openbox_;
    QString display_;
};

QWidget* TopLevel(const char* objectName) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == objectName)
            return widget;
    }
    return nullptr;
}

// Shown, framed by the window manager, and still for a moment.
bool Settled(QWidget* window) {
    QRect last;
    int still = 0;
    return QTest::qWaitFor(
        [&] {
            if (!window->isVisible() || !window->windowHandle() ||
                window->windowHandle()->frameMargins().isNull())
                return false;
            still = window->frameGeometry() == last ? still + 1 : 0;
            last = window->frameGeometry();
            return still >= 3;
        },
        10000);
}

} // namespace

TEST(DesktopSession, TheSimulatedReaderIsPlacedByItsFrameAndTheMenuBarTakesF10) {
    QTemporaryDir data;
    const std::string journal = (data.path() + "/journal.sqlite").toStdString();
    std::vector<std::string> args = {"ostrel-admin", "--reader", "sim", "--journal", journal};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    int argc = static_cast<int>(argv.size());
    QApplication application(argc, argv.data());

    QRect available, mainFrame, readerFrame;
    bool f10 = false, reopened = false;
    const int status = ostrel::app::RunAdmin(application, [&](ostrel::app::MainKestrix& main) {
        QTimer::singleShot(0, &main, [&] {
            QWidget* reader = TopLevel("frmSimulatedReader");
            if (reader && Settled(&main) && Settled(reader)) {
                available = main.screen()->availableGeometry();
                mainFrame = main.frameGeometry();
                readerFrame = reader->frameGeometry();
                main.activateWindow();
                if (QTest::qWaitForWindowActive(&main)) {
                    QTest::keyClick(&main, Qt::Key_F10);
                    f10 = main.menuBar()->activeAction() &&
                          main.menuBar()->activeAction()->objectName() == "MNU_FIN";
                    QTest::keyClick(main.menuBar(), Qt::Key_Escape);
                }
                reader->close();
                main.findChild<QAction*>("MNU_SIMULATED_READER")->trigger();
                reopened = Settled(reader) && available.contains(reader->frameGeometry());
            }
            main.close();
        });
        // However it goes, the run ends.
        QTimer::singleShot(60000, &main, [&] { main.close(); });
    });
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(readerFrame.isValid()) << "the windows were never shown and framed";
    EXPECT_EQ(available.size(), Screen()) << "openbox reserves no panel";
    EXPECT_TRUE(available.contains(readerFrame))
        << "title bar off the screen: " << readerFrame.y() << " " << readerFrame.x();
    EXPECT_TRUE(available.contains(mainFrame));
    EXPECT_GT(readerFrame.top(), mainFrame.top() - 1 - readerFrame.height() / 2);
    const int overlap = mainFrame.intersected(readerFrame).width();
    std::printf("screen %dx%d: main window frame %d,%d %dx%d, simulated reader frame %d,%d "
                "%dx%d, overlap %d px\n",
                Screen().width(), Screen().height(), mainFrame.x(), mainFrame.y(),
                mainFrame.width(), mainFrame.height(), readerFrame.x(), readerFrame.y(),
                readerFrame.width(), readerFrame.height(), overlap);
    if (Screen().width() >= 1280)
        EXPECT_EQ(overlap, 0);
    else
        EXPECT_GT(overlap, 0) << "a screen too narrow for both: the reader's window overlaps";
    EXPECT_TRUE(f10) << "F10 did not light the first menu item";
    EXPECT_TRUE(reopened) << "the menu item did not bring the window back on the screen";
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    int width = 0, height = 0;
    if (argc < 2 || std::sscanf(argv[1], "%dx%d", &width, &height) != 2) {
        std::fprintf(stderr, "usage: app_desktop_tests WIDTHxHEIGHT\n");
        return 2;
    }
    Screen() = QSize(width, height);
    for (const char* program : {"Xvfb", "openbox"}) {
        if (QStandardPaths::findExecutable(program).isEmpty()) {
            std::printf("skipped: %s is not installed (scripts/setup.sh installs it)\n", program);
            return kSkipped;
        }
    }
    QTemporaryDir folder;
    XSession session;
    std::string why;
    {
        // The session is started before the application exists: a core application for the
        // waits only.
        int none = 0;
        QCoreApplication waits(none, nullptr);
        if (!session.Start(Screen(), folder.path(), why)) {
            std::fprintf(stderr, "%s\n", why.c_str());
            return 1;
        }
    }
    qputenv("DISPLAY", session.display().toUtf8());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("OSTREL_DATA_DIR", (folder.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (folder.path() + "/config").toUtf8());
    return RUN_ALL_TESTS();
}
