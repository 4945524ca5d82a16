#include <QCoreApplication>

#include "run_all_tests.h"

// No display and no widgets: the core runs on QtCore alone.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return runAllTests();
}
