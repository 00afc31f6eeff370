// One application object for every widget test.
#include "app/Application.h"
#include "app/MenuBarStyle.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Widgets without a display, also when the tests are only being listed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    app::TApplication application(argc, argv);
    QApplication::setStyle(new app::TMenuBarStyle);
    return RUN_ALL_TESTS();
}
