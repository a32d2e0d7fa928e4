#pragma once

#include <QStringList>
#include <QWidget>

#include <functional>

class AnswerCheck;
class BusScan;
class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class SerialPort;

// The bus scan (FrmBusScan): reads the relays at every address of a range,
// or tries the broadcast search at each baud rate of the baud box; lists the
// boards found. A double click hands the board to the window (the address
// box, and the baud rate when the sweep found it).
class BusScanDialog : public QWidget
{
    Q_OBJECT
public:
    struct Link
    {
        SerialPort *port = nullptr;
        AnswerCheck *check = nullptr;
        std::function<QStringList()> baudRates;           // the baud box's list
        std::function<void(int address, int baud)> apply; // baud 0: keep the line
    };
    BusScanDialog(Link link, QWidget *parent = nullptr);

    BusScan *scan() const { return m_scan; }

public slots:
    void CmdScanStart_Click();
    void CmdScanCancel_Click();

private:
    void found(int address, int baud);
    void done(bool cancelled);

    Link m_link;
    BusScan *m_scan;
    QString m_ownSettings;
    QSpinBox *TxtScanFrom = nullptr, *TxtScanTo = nullptr;
    QCheckBox *ChkBaudSweep = nullptr;
    QPushButton *CmdScanStart = nullptr, *CmdScanCancel = nullptr;
    QProgressBar *PrgScan = nullptr;
    QListWidget *LstScanFound = nullptr;
    QLabel *LblScanState = nullptr;
};
