#pragma once
// TConnectionPanel: the top row of the window - Connect, Disconnect, About,
// Quit and Plot, and the six radio groups of the line settings with the
// "other" bit rate and the device map of the COM numbers. It edits the line
// fields of the settings value and says so; the connection applies them.

#include "terminal/core/Connection.h"
#include "common/ServedPorts.h"
#include "terminal/core/TerminalSettings.h"
#include "terminal/ui/WindowControls.h"

#include <QWidget>
#include <vector>

class QComboBox;
class QMenu;
class QPushButton;

class TConnectionPanel : public QWidget {
    Q_OBJECT
public:
    TConnectionPanel(TTerminalSettings& settings, TConnection* connection, QWidget* parent = nullptr);

    QPushButton *ConnectBtn, *DisconnectBtn, *Button1, *QuitBtn, *PlotBtn, *DeviceBtn;
    TRadioGroup *ComPortRG, *BaudRateRG, *DataBitsRG, *ParityRG, *StopBitsRG, *HandshakingRG;
    QComboBox* cbBaudRate;  // the bit rate of BaudRateRG's "other" item

    // Shows the settings value's line fields (without raising edited()).
    void showSettings();
    void showState(TLinkState state);
    // While a send holds the port, new line settings (which purge the output
    // queue) wait.
    void setSending(bool on);
    void updatePortToolTip();
    // Per COM number the ports the system reports, the ports Zelvar and
    // m51sim serve, the default device and "Other device..." for a typed path.
    void buildPortMenu(QMenu* menu);
    // Gives the served ports that have no COM number yet a free one.
    void mapServedPorts(const std::vector<m51::ServedPort>& served);

signals:
    void edited();
    void problem(const QString& detail);  // a typed bit rate that is none

private:
    void readBitRate();
    void readGroups();
    void takeGroups();
    bool takeBitRate();
    void showPortMenu(const QPoint& globalPos);

    TTerminalSettings& m_settings;
    TConnection* m_connection;
    bool m_showing = false;
};
