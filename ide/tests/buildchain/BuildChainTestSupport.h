#pragma once
// What the build-chain tests share: test files written and read back, and a
// build chain feeding a listing window.

#include "ide/BuildChain.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QString>
#include <QTest>

#include <functional>

// Writes a test file; a file that cannot be written fails the test.
inline void write(const QString& path, const QByteArray& bytes = {})
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

// The file's bytes; empty where it cannot be read.
inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A build chain with a listing window it feeds, as Zelvar's LST window is fed
// (each listing found replaces the window's text), and spies on its signals.
struct ListingBuild {
    ListingBuild(const QString& programFolder, std::function<QString()> currentFile, const QString& earlier = {})
        : chain(programFolder, std::move(currentFile))
    {
        lst.setPlainText(earlier);
        QObject::connect(&chain, &TBuildChain::listingReady, &lst,
                         [this](const QString& path) { lst.setPlainText(TBuildChain::ReadListingText(path)); });
    }

    TBuildChain chain;
    QPlainTextEdit lst;
    QSignalSpy ready{&chain, &TBuildChain::listingReady};
    QSignalSpy finished{&chain, &TBuildChain::buildFinished};
};
