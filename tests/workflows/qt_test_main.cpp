#include <QApplication>
#include <gtest/gtest.h>

// One application object for the whole run. Listing the tests runs this too, without the
// tests' environment, so the headless platform is chosen here as well.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
