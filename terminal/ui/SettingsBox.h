#pragma once
// TSettingsBox: the "Settings" group beside the receive box - Auto
// Dis/Connect, the font size, the time column, line endings, what Enter
// sends, the memory kept and Auto reconnect. It edits the settings value.

#include "terminal/core/TerminalSettings.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QSpinBox;

class TSettingsBox : public QGroupBox {
    Q_OBJECT
public:
    TSettingsBox(TTerminalSettings& settings, QWidget* parent = nullptr);

    QCheckBox *cbAuto, *TCBox, *cbStampOnce, *cbLfNewLine, *cbReconnect;
    QComboBox *cbFontSize, *cbEnterKey;
    QSpinBox* sbKeepMB;  // megabytes the receive boxes may hold

    void showSettings();

signals:
    void edited();
    void fontSizeEdited();  // typed or chosen by the user

private:
    void read();

    TTerminalSettings& m_settings;
    bool m_showing = false;
};
