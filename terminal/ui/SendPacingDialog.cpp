#include "terminal/ui/SendPacingDialog.h"

#include "terminal/MacroCodec.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {
QDoubleSpinBox* msBox(double value, QWidget* parent)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(0, 10000);
    box->setDecimals(3);
    box->setSingleStep(0.1);
    box->setSuffix(QStringLiteral(" ms"));
    box->setSpecialValueText(QStringLiteral("none"));
    box->setValue(value);
    return box;
}
}  // namespace

TSendPacingDialog::TSendPacingDialog(const TSendPacing& pacing, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Send File pacing"));
    auto* form = new QFormLayout(this);
    auto* intro = new QLabel(QStringLiteral("For monitors and boot loaders without handshake that lose data\n"
                                            "at full speed. Nothing set sends as fast as the port takes it."),
                             this);
    form->addRow(intro);
    m_charDelay = msBox(pacing.CharDelayMs, this);
    m_charDelay->setToolTip(QStringLiteral("Pause after each character, once it is on the line"));
    form->addRow(QStringLiteral("After each &character:"), m_charDelay);
    m_lineDelay = msBox(pacing.LineDelayMs, this);
    m_lineDelay->setToolTip(QStringLiteral("Pause after each line end (LF, or CR alone)"));
    form->addRow(QStringLiteral("After each &line:"), m_lineDelay);
    m_waitFor = new QLineEdit(FromCp1250(EncodeMacro(pacing.WaitFor)), this);
    m_waitFor->setPlaceholderText(QStringLiteral("nothing: do not wait"));
    m_waitFor->setToolTip(QStringLiteral("After each line, wait until the device sends this\n"
                                         "(a prompt such as > or an echo); #013 is CR"));
    form->addRow(QStringLiteral("&Wait for:"), m_waitFor);
    m_waitTimeout = new QSpinBox(this);
    m_waitTimeout->setRange(10, 600000);
    m_waitTimeout->setSuffix(QStringLiteral(" ms"));
    m_waitTimeout->setValue(pacing.WaitTimeoutMs);
    m_waitTimeout->setToolTip(QStringLiteral("The send stops when the answer does not come within this time"));
    form->addRow(QStringLiteral("... at &most:"), m_waitTimeout);
    m_problem = new QLabel(this);
    m_problem->setStyleSheet(QStringLiteral("color: #b00"));
    form->addRow(m_problem);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_waitFor, &QLineEdit::textChanged, this, &TSendPacingDialog::check);
    check();
}

void TSendPacingDialog::check()
{
    const TMacroDecoding wait = DecodeMacro(ToCp1250(m_waitFor->text()));
    m_problem->setText(wait.Ok ? QString() : InvalidIntegerMessage(wait.BadText));
    m_problem->setVisible(!wait.Ok);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(wait.Ok);
}

TSendPacing TSendPacingDialog::pacing() const
{
    TSendPacing p;
    p.CharDelayMs = m_charDelay->value();
    p.LineDelayMs = m_lineDelay->value();
    p.WaitFor = DecodeMacro(ToCp1250(m_waitFor->text())).Bytes;
    p.WaitTimeoutMs = m_waitTimeout->value();
    return p;
}
