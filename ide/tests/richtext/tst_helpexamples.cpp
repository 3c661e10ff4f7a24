// Every example of the help file shows the assembly that Zelvar's compiler
// really writes for it.
#include "compiler/Compiler.h"
#include "ide/tests/richtext/HelpSource.h"

#include <QtTest>

using namespace helpsource;

class TestHelpExamples : public QObject {
    Q_OBJECT
private slots:
    void examplesAreWhatZelvarWrites();
};

void TestHelpExamples::examplesAreWhatZelvarWrites()
{
    const QList<Example> all = examples(helpSource());
    QVERIFY(all.size() > 120);
    for (const Example& e : all) {
        // A procedure BLINK is declared first, for the examples that call it.
        std::vector<std::string> lines{"PROCEDURE BLINK"};
        for (const QString& l : e.m51)
            lines.push_back(l.toStdString());
        const m51::CompileResult r = m51::CompileSource(lines);
        QStringList got;
        for (size_t k = 1; k < r.Output.size(); ++k)
            got << QString::fromStdString(r.Output[k]).trimmed();
        QVERIFY2(got == e.assembly, qPrintable(QStringLiteral("help source line %1: %2 gives %3")
                                                   .arg(e.sourceLine)
                                                   .arg(e.m51.join(" / "), got.join(" / "))));
    }
}

QTEST_MAIN(TestHelpExamples)
#include "tst_helpexamples.moc"
