#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Windows are exercised without a display; a caller may still choose another platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
