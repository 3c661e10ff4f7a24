#pragma once
// What the main window's tests share: a pseudo-terminal whose far end keeps
// the test's event loop running (the window lives on the test's thread), a
// home folder of their own for the store, and the window made as the
// program makes it, its error boxes collected instead of shown.
#include "terminal/ui/MainFrm.h"
#include "terminal/tests/common/PtyPort.h"
#include "terminal/Storage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

struct TestPty : PtyPort {
    TestPty() : PtyPort(Wait::EventLoop) {}
};

class TWindowFixture {
protected:
    void startHome()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", m_home.path().toLocal8Bit());  // no served ports of the machine's own
        QCoreApplication::setApplicationName(QStringLiteral("terminal"));
    }
    void clearStore()
    {
        QFile::remove(UserStoreFile());
        m_errors.clear();
    }
    std::unique_ptr<TMainForm> makeForm(bool show = true)
    {
        auto form = std::make_unique<TMainForm>();
        form->OnError = [this](const QString& message) { m_errors << message; };
        if (show) {
            form->show();
            QCoreApplication::processEvents();
        }
        return form;
    }

    QTemporaryDir m_home;
    QStringList m_errors;
};
