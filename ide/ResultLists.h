#pragma once
// What the main window's result lists and the editor's error markers show of
// a build: the error list's rows from the build's diagnostics (the compiler's
// entries with their texts as the compiler made them and the reason beside
// them; every other stage's messages with the stage that reported them), the
// text an error marker shows under its line, and a heading over each list
// ("Procedures", "Definitions", "Inline blocks", "Errors").

#include "compiler/Compiler.h"
#include "common/Diagnostic.h"
#include "ide/ListBox.h"

#include <QString>
#include <vector>

class QLabel;
class QWidget;

// The error list's rows: diagnostics[i] for i below compiled.ErBox.size() are
// the compiler's, beside its entries; the rest are later stages'. A row has
// a source line when its diagnostic is on a line of the current source.
std::vector<ResultRow> errorRows(const m51::CompileResult& compiled, const std::vector<m51::Diagnostic>& diagnostics);

// The reason an error marker shows under its line: "XYZZY 3: unknown
// statement, no code generated", "assembler: undefined symbol LOOP (assembly line 7)".
QString markerText(const m51::Diagnostic& diagnostic);

// Puts a heading over `list`: a strip in a darker shade of `colour` with the
// title in white. Returns the widget holding both.
QWidget* withHeading(const QString& title, QWidget* list, const QColor& colour, QLabel** heading = nullptr);
