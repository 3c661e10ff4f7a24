#pragma once
// The pacing of Send File, edited as a value: pauses after each character and
// each line (milliseconds, fractions allowed) and the prompt to wait for after
// each line, in macro notation (#013 for CR).

#include "terminal/core/FileSender.h"

#include <QDialog>

class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QDialogButtonBox;

class TSendPacingDialog : public QDialog {
    Q_OBJECT
public:
    TSendPacingDialog(const TSendPacing& pacing, QWidget* parent = nullptr);
    // The edited pacing; valid when the dialog was accepted.
    TSendPacing pacing() const;

private:
    void check();

    QDoubleSpinBox* m_charDelay;
    QDoubleSpinBox* m_lineDelay;
    QLineEdit* m_waitFor;
    QSpinBox* m_waitTimeout;
    QLabel* m_problem;
    QDialogButtonBox* m_buttons;
};
