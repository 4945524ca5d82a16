#include <QCoreApplication>

#include "run_all_tests.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return runAllTests();
}
