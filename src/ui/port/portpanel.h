#pragma once

#include "serial/portsettings.h"

#include <QObject>
#include <QString>

#include <memory>

class BoardSession;
class Messages;
class PortReconnect;
class PortResolver;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class SerialPort;

// The port group: the port and line boxes, the switch, the status box and
// the greeting arrow. It opens and closes the port, shows its state and
// keeps the settings file.
class PortPanel : public QObject
{
    Q_OBJECT
public:
    PortPanel(QWidget *host, SerialPort *port, BoardSession *session, std::shared_ptr<const PortResolver> resolver,
              QString settingsFolder, Messages *messages);

    PortBoxes portBoxes() const;
    // The baud box's list; a rate put into the box and the port reopened with it.
    QStringList baudRates() const;
    void setBaudRate(const QString &baud);
    // Start-up: the settings file's port, opened.
    void InitPort();
    void ReopenPort(const PortSettings &settings);
    void OpenPort();
    void ClosePort();
    bool WriteSettingsFile();
    void GreetingSequence();

public slots:
    void CmdSwitch_Click();
    void CboCom_Click();
    void CboBaudrate_Click();
    void CboParitybit_Click();
    void CboDatabit_Click();
    void CboStopbit_Click();

signals:
    // Emitted after the port display changed.
    void portDisplayChanged();
    // An opening failed: the system's reason and what to do, in one sentence.
    void openFailed(const QString &advice);
    // The port opened with the boxes' settings.
    void portOpened();
    // A lost port was opened again by itself, with the same settings.
    void portReconnected(const QString &text);

private:
    // Closes the port and opens it with these settings; false on any failure.
    bool openWith(const PortSettings &settings);
    void showOpenDisplay();
    void showClosedDisplay(const QString &statusText, bool setCaption);
    void updatePortTooltips();
    // Keeps why the last opening failed (shown in the tooltip) and reports it.
    void explainFailure(int portNumber);

    SerialPort *MSComm;
    BoardSession *m_session;
    std::shared_ptr<const PortResolver> m_resolver;
    QString m_settingsFolder;
    Messages *m_messages;
    QFrame *Frame1 = nullptr;
    QComboBox *CboCom = nullptr, *CboBaudrate = nullptr, *CboParitybit = nullptr, *CboDatabit = nullptr,
              *CboStopbit = nullptr;
    QPushButton *CmdSwitch = nullptr;
    QLabel *ImgSwitchOn = nullptr, *ImgSwitchOff = nullptr, *arrowlabel = nullptr;
    QLineEdit *TxtStatus = nullptr;
    PortReconnect *m_reconnect = nullptr;
    QString m_openAdvice; // why the last opening failed; empty after a good one
};
