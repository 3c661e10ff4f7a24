#pragma once
// The setup dialog `Nastav`, "Internal Setup", and the setup file Zelvar.INI.
//
// The file has no sections and no keys: it is 24 text lines at fixed places,
// one setting a line, flags written "A" (set) or "F" (clear). The dialog's
// fields are the live settings of the whole run: the other windows read them
// directly (the tool commands at each click, the flags at each compile, the
// last file at start-up).

#include <QByteArray>
#include <QDialog>
#include <QStringList>

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;
class TForm1;

namespace SetupFile {

// Lines written by SaveSetup; the reader pads what it reads to PaddedLines.
constexpr int LineCount = 24;
constexpr int PaddedLines = 30;

// The file's lines (CR, LF or CR LF ends), decoded, padded with empty lines
// to at least PaddedLines.
QStringList readLines(const QByteArray& bytes);
// A flag line is set exactly when it is "A".
bool isSet(const QString& line);
QString flagText(bool set);
// The lines, code page 1250, each ended by CR LF.
QByteArray fileBytes(const QStringList& lines);

} // namespace SetupFile

class TNastav : public QDialog {
    Q_OBJECT
public:
    // Reads the setup file and applies the tools to the main window, which must
    // therefore exist before the dialog.
    explicit TNastav(TForm1* mainWindow, QWidget* parent = nullptr);

    // Line 1 … 24 of the setup file, in file order.
    QLineEdit* Edit1;   // assembler name (hidden)
    QLineEdit* Edit2;   // hidden
    QLineEdit* Edit3;   // hidden
    QCheckBox* Auto;    // "Autosave in Debug Process"
    QLineEdit* Edit4;   // last opened source file (hidden)
    QCheckBox* C1;      // "Compile ASM >> HEX" (hidden): Debug runs the build chain
    QCheckBox* C2;      // "Compile HEX >> BIN" (hidden)
    QLineEdit* Edit5;   // "Visibility": show mode of the build's script window
    QLineEdit* Edit6;   // command of tool 1 … (Edit12: tool 7)
    QLineEdit* Edit7;
    QLineEdit* Edit8;
    QLineEdit* Edit9;
    QLineEdit* Edit10;
    QLineEdit* Edit11;
    QLineEdit* Edit12;
    QLineEdit* Edit13;  // caption of tool 1 … (Edit19: tool 7)
    QLineEdit* Edit14;
    QLineEdit* Edit15;
    QLineEdit* Edit16;
    QLineEdit* Edit17;
    QLineEdit* Edit18;
    QLineEdit* Edit19;
    QCheckBox* AutoOpen;  // "AutoOpen při startu" (hidden)
    QLineEdit* Edit20;    // hidden
    QToolButton* SpeedButton1;  // "Save setup"
    QStringList LB;       // the file's lines while reading and writing

    // Command and caption of tool k (1 … 7).
    QString toolCommand(int k) const;
    QString toolCaption(int k) const;

    // Reads the setup file into the fields and applies the tools. No file: all
    // empty and clear. An unreadable file: "Cannot open file %s", and the rest
    // is skipped.
    void LoadSetup();
    // Writes the 24 lines and closes the dialog; on failure "Cannot create file
    // %s" and the dialog stays open. False when the file was not written.
    bool SaveSetup();
    // Sets up the main window's tool bar from the fields.
    void ApplyTools();

private:
    QLineEdit* textField(int line) const;   // nullptr for flag lines
    QLineEdit* toolCommandField(int k) const;
    QLineEdit* toolCaptionField(int k) const;
    QCheckBox* flagField(int line) const;   // nullptr for text lines
    void buildLayout();

    TForm1* m_mainWindow;
};
