#include "tallyer.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    return tallyer::run(args, [](const QString& text) {
        std::fputs(text.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
    });
}
