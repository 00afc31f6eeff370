#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The widget tests draw off screen; the test registration sets this too, but listing the
    // tests at build time runs the program without it.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
