#pragma once
// The setup dialog `Nastav`, "Internal Setup": edits a copy of the session's
// settings and hands it back with "Save setup", which writes Zelvar.INI. The
// fields follow the session's settings whenever they change.

#include "ide/Setup.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;
class Session;

class TNastav : public QDialog {
    Q_OBJECT
public:
    explicit TNastav(Session& session, QWidget* parent = nullptr);
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
    // The debugger's simulator: 0 the built-in one, 1 s51. Kept in the profile
    // file, not in Zelvar.INI (whose lines are fixed), as soon as it is
    // chosen; applies from the next debug session on.
    QComboBox* Simulator;
    // The SDCC that builds C programs (a path or a name on the PATH); empty:
    // $SDCC, else sdcc. Kept in the profile file like the simulator.
    QLineEdit* Sdcc;
    QStringList LB;       // the settings' lines the fields were last filled from

    // Command and caption of tool k (1 … 7).
    QString toolCommand(int k) const;
    QString toolCaption(int k) const;

    // Fills the fields from the session's settings.
    void LoadSetup();
    // Hands the fields to the session, which writes the 24 lines, and closes
    // the dialog; on failure "Cannot create file %s" and the dialog stays
    // open. False when the file was not written.
    bool SaveSetup();
    // The settings as the fields hold them.
    Setup editedSetup() const;

signals:
    // A simulator or an SDCC was chosen; the profile keeps it already.
    void simulatorChosen(bool s51);
    void sdccChosen(const QString& program);
    // The profile could not be written: "Unable to write to <file>".
    void profileNotWritten(const QString& reason);

private:
    QLineEdit* textField(int line) const;   // nullptr for flag lines
    QLineEdit* toolCommandField(int k) const;
    QLineEdit* toolCaptionField(int k) const;
    QCheckBox* flagField(int line) const;   // nullptr for text lines
    void buildLayout();
    void keepChoices();

    Session& m_session;
};
