#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Window tests need one application object for the whole run. Listing the tests runs this too,
// without the tests' environment, so the headless platform is chosen here as well.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The workflow windows keep the next serial in the per-user configuration: never the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
