#include <QCoreApplication>

#include <gtest/gtest.h>

// No display and no widgets: the core runs on QtCore alone.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
