// Zelvar: the development environment for 8051 programs in the M51 language.
// Usage: Zelvar [source.M51]

#include "StartUp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    return runZelvar(app, app.arguments());
}
