#pragma once

#include <QObject>
#include <QString>

#include <functional>

class CommonDialog;
class FileSender;
class Messages;
class QPlainTextEdit;
class QPushButton;
class QWidget;
class SendPane;
class SerialPort;

// The file commands of the terminal: choosing a file and sending it piece by
// piece (the same button cancels), and appending the send box to a file.
class FileCommands : public QObject
{
    Q_OBJECT
public:
    // dialog: the window's shared open/save dialog. hexReceive: the receive
    // pane's display mode, applied to the port when a file is sent.
    FileCommands(QWidget *host, SerialPort *port, SendPane *send, CommonDialog *dialog, Messages *messages,
                 std::function<bool()> hexReceive);

    // True while a file is being sent piece by piece.
    bool fileSending() const;

public slots:
    void CmdSelectFile_Click();
    void CmdSendFile_Click();
    void CmdSaveDisp_Click();
    // The send path box shows this path.
    void showSendPath(const QString &path);
    // The port was closed or lost: a file being sent stops.
    void portChanged();

private:
    void showFileSendProgress();
    void onFileSendFinished(int result);

    SerialPort *MSComm;
    SendPane *m_send;
    CommonDialog *CommonDialog1;
    Messages *m_messages;
    std::function<bool()> m_hexReceive;
    FileSender *m_fileSender = nullptr;
    QPlainTextEdit *TxtSendPath = nullptr;
    QPlainTextEdit *TxtSavePath = nullptr;
    QPushButton *CmdSendFile = nullptr;
};
