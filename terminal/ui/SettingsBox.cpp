#include "terminal/ui/SettingsBox.h"

#include "terminal/ReceiveStore.h"
#include "terminal/ui/UiText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

TSettingsBox::TSettingsBox(TTerminalSettings& settings, QWidget* parent)
    : QGroupBox(QStringLiteral("Settings"), parent), m_settings(settings)
{
    setObjectName(QStringLiteral("GroupBox3"));
    setToolTip(hint("Terminal Settings"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 4, 6, 4);
    column->setSpacing(4);
    auto check = [&](QCheckBox*& box, const char* name, const char* caption, const QString& tip) {
        box = new QCheckBox(QString::fromLatin1(caption), this);
        box->setObjectName(QString::fromLatin1(name));
        box->setToolTip(tip);
        column->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &TSettingsBox::read);
    };
    auto labelled = [&](const char* caption, QWidget* field) {
        auto* row = new QHBoxLayout;
        auto* label = new QLabel(QString::fromLatin1(caption), this);
        label->setBuddy(field);
        row->addWidget(label);
        row->addWidget(field, 1);
        column->addLayout(row);
    };
    check(cbAuto, "cbAuto", "Auto Dis/Connect",
          hint("Auto Connect and Disconnect.\r\nIf you use same com port for \r\nsomething else. Like programing,... "));
    cbFontSize = new QComboBox(this);
    cbFontSize->setObjectName(QStringLiteral("cbFontSize"));
    cbFontSize->setEditable(true);
    cbFontSize->setInsertPolicy(QComboBox::NoInsert);
    cbFontSize->addItems({"6", "8", "10", "12", "14"});
    cbFontSize->setEditText(m_settings.FontSize);
    cbFontSize->setToolTip(hint("Font Size"));
    cbFontSize->setMinimumContentsLength(3);
    cbFontSize->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    labelled("Font Size", cbFontSize);
    check(TCBox, "TCBox", "Time", hint("Show time in Receive box"));
    check(cbStampOnce, "cbStampOnce", "One time stamp per line",
          QStringLiteral("A line keeps the time its first byte came,\nhowever many blocks it spans"));
    check(cbLfNewLine, "cbLfNewLine", "LF starts a new line",
          QStringLiteral("For devices that end lines with LF only;\nCR LF stays one line break"));
    cbEnterKey = new QComboBox(this);
    cbEnterKey->setObjectName(QStringLiteral("cbEnterKey"));
    cbEnterKey->addItems({QStringLiteral("CR"), QStringLiteral("LF"), QStringLiteral("CR LF")});
    cbEnterKey->setToolTip(QStringLiteral("What the Enter key sends while typing"));
    labelled("Enter sends", cbEnterKey);
    sbKeepMB = new QSpinBox(this);
    sbKeepMB->setObjectName(QStringLiteral("sbKeepMB"));
    sbKeepMB->setRange(16, 65536);
    sbKeepMB->setValue(int(TReceiveLog::DefaultMemoryLimit >> 20));
    sbKeepMB->setSuffix(QStringLiteral(" MB"));
    sbKeepMB->setToolTip(QStringLiteral("Memory for the received lines and values;\nbeyond it the oldest are dropped "
                                        "from the boxes\n(Log to file keeps everything)"));
    labelled("Keep", sbKeepMB);
    check(cbReconnect, "cbReconnect", "Auto reconnect",
          QStringLiteral("When an unplugged adapter comes back,\nconnect again without asking"));
    column->addStretch(1);
    connect(cbEnterKey, &QComboBox::currentIndexChanged, this, &TSettingsBox::read);
    connect(sbKeepMB, &QSpinBox::valueChanged, this, &TSettingsBox::read);
    connect(cbFontSize, &QComboBox::editTextChanged, this, &TSettingsBox::read);
    auto fontEdited = [this] {
        read();
        emit fontSizeEdited();
    };
    connect(cbFontSize->lineEdit(), &QLineEdit::textEdited, this, fontEdited);
    connect(cbFontSize, &QComboBox::activated, this, fontEdited);
}

void TSettingsBox::read()
{
    if (m_showing)
        return;
    TTerminalSettings& s = m_settings;
    s.AutoConnect = cbAuto->isChecked();
    s.Time = TCBox->isChecked();
    s.StampOnce = cbStampOnce->isChecked();
    s.LfNewLine = cbLfNewLine->isChecked();
    s.Reconnect = cbReconnect->isChecked();
    s.FontSize = cbFontSize->currentText();
    s.EnterKey = cbEnterKey->currentIndex();
    s.KeepMB = sbKeepMB->value();
    emit edited();
}

void TSettingsBox::showSettings()
{
    const TTerminalSettings& s = m_settings;
    m_showing = true;
    cbAuto->setChecked(s.AutoConnect);
    TCBox->setChecked(s.Time);
    cbStampOnce->setChecked(s.StampOnce);
    cbLfNewLine->setChecked(s.LfNewLine);
    cbReconnect->setChecked(s.Reconnect);
    cbFontSize->setEditText(s.FontSize);
    if (s.EnterKey >= 0 && s.EnterKey < cbEnterKey->count())
        cbEnterKey->setCurrentIndex(s.EnterKey);
    sbKeepMB->setValue(s.KeepMB);
    m_showing = false;
    read();  // what the widgets made of it (a size out of range, ...)
}
