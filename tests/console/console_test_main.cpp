// The console tests need a widget application; they run on one thread with
// one event loop, like the console.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Windows are drawn off the screen, also when the test list is collected
    // at build time (without the test's environment).
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
