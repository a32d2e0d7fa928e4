#pragma once

#include "app/dialogs.h"
#include "app/gbk.h"
#include "app/sleep2.h"
#include "logic/logicstep.h"
#include "serial/portsettings.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QTimer;
class QWidget;
class PortResolver;
class SerialPort;
class DeviceState;
class devicestatus;
class editform;

// The main window: port group, board commands, step grid, clock, status row
// and the serial terminal. Controls carry their given names as objectNames;
// the handlers keep their given names too.
//
// The implementation is split by subsystem: relay.cpp (shell, start-up,
// quit, clock), relay_port.cpp (port management), and one file per
// subsystem under protocol/, logic/, status/ and terminal/.
class relay : public QWidget
{
    Q_OBJECT
public:
    struct Options
    {
        QString settingsFolder;                     // holds sysini.txt and ports/
        std::shared_ptr<const PortResolver> resolver; // COMn -> device; made from the folder when null
        Dialogs *dialogs = nullptr;                 // message boxes and file dialogs; Qt's when null
        SerialPort *port = nullptr;                 // taken over; a QtSerialPort when null
        std::function<void()> quitApplication;      // ends the program; QCoreApplication::exit when empty
    };

    explicit relay(Options options, QWidget *parent = nullptr);
    ~relay() override;

    // Start-up; the caller runs it once, before showing the window.
    void Form_Load();

    // Waits at least ms while events run; false when the program is quitting.
    bool Sleep2(qint32 ms);
    bool isQuitting() const { return m_quitting; }

    // Message box with the program's title and an OK button.
    void ShowMessage(const QString &text, Dialogs::Icon icon);

    SerialPort *MSComm = nullptr;
    CommonDialog CommonDialog1;
    Dialogs *dialogs() const { return m_dialogs; }
    QString settingsFolder() const { return m_settingsFolder; }
    const PortResolver &resolver() const { return *m_resolver; }

    // ---------------------------------------------------------------- shell
    QTimer *Timer2 = nullptr;
    QTimer *TmrNowTime = nullptr;
    QTimer *TmrAutoSend = nullptr;
    QLabel *LblNewDate = nullptr;
    QLabel *LblNowTime = nullptr;
    QPushButton *CmdQuit = nullptr;
    QLabel *LblWeb = nullptr;
    QLabel *arrowlabel = nullptr;

    // ---------------------------------------------------------------- port group
    QFrame *Frame1 = nullptr;
    QLabel *Label4 = nullptr;
    QComboBox *CboCom = nullptr;
    QPushButton *CmdSwitch = nullptr;
    QLabel *ImgSwitchOn = nullptr;
    QLabel *ImgSwitchOff = nullptr;
    QComboBox *CboBaudrate = nullptr;
    QComboBox *CboParitybit = nullptr;
    QComboBox *CboDatabit = nullptr;
    QComboBox *CboStopbit = nullptr;
    QLabel *Label5 = nullptr, *Label6 = nullptr, *Label7 = nullptr, *Label8 = nullptr;
    QLineEdit *TxtStatus = nullptr;

    PortBoxes portBoxes() const;
    void InitPort();
    void ReopenPort(const PortSettings &settings);
    void OpenPort();
    void ClosePort();
    bool WriteSettingsFile();
    void GreetingSequence();

    // ---------------------------------------------------------------- board address and commands
    QLabel *Label1 = nullptr;
    QComboBox *Combo1 = nullptr;
    QPushButton *writeadd = nullptr;
    QLabel *Label9 = nullptr;
    QLineEdit *newadd = nullptr;
    QPushButton *writefirst = nullptr;
    QPushButton *CmdReset = nullptr;
    QPushButton *sdevice = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *loadname = nullptr;
    QPushButton *editname = nullptr;
    QPushButton *Command2 = nullptr;

    // The address guard: false (with its message) while Combo1 is empty.
    bool RequireDeviceAddress(bool moveFocus);
    // Combo1 as an address byte; shows the range message and gives nothing
    // when the text is not a decimal integer 0..255.
    std::optional<uint8_t> DeviceAddressByte();
    // Writes one whole frame. With the port closed it shows the
    // "port not open" warning and writes nothing.
    bool SendFrame(const QByteArray &frame);
    // True when the port is open; otherwise shows the "port not open" warning.
    bool RequirePortOpen();

    // ---------------------------------------------------------------- status row, counters
    QLineEdit *TxtRXCount = nullptr;
    QLineEdit *TxtTXCount = nullptr;
    QPushButton *CmdClearCounter = nullptr;
    qint64 RxTotal = 0;
    qint64 TxTotal = 0;
    void ShowCounters();

public slots:
    void CmdQuit_Click();
    void TmrNowTime_Timer();
    void CmdSwitch_Click();
    void CboCom_Click();
    void CboBaudrate_Click();
    void CboParitybit_Click();
    void CboDatabit_Click();
    void CboStopbit_Click();

signals:
    // Emitted after the port display changed (tests and other windows watch it).
    void portDisplayChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void buildShell();
    void buildPortGroup();
    void buildLeftColumn();
    void buildStatusRow();
    void showOpenDisplay();
    void showClosedDisplay(const QString &statusText, bool setCaption);
    void updatePortTooltips();
    void onPortLost(const QString &reason);

    QString m_settingsFolder;
    std::shared_ptr<const PortResolver> m_resolver;
    std::unique_ptr<Dialogs> m_ownDialogs;
    Dialogs *m_dialogs = nullptr;
    std::function<void()> m_quitApplication;
    SleepGate m_sleepGate;
    bool m_quitting = false;

    // ================================================================ protocol: receive path and reply parser
public:
    // Received bytes as hexadecimal text, waiting for the reply parser.
    QString tempstatus;
public slots:
    // Reply parser tick (every 20 ms): applies the answers at the head of tempstatus.
    void Timer2_Timer();
    // The port's event: received data (2) or the send buffer drained (1).
    void MSComm_OnComm();
    // ---- end of protocol: receive path and reply parser

    // ================================================================ protocol: board commands and status window
public slots:
    void sdevice_Click();
    void writeadd_Click();
    void CmdReset_Click();
    void Command1_Click();
    void Command2_Click();
    void newadd_Click();
    void newadd_Change();
public:
    // Applied by the reply parser; kept for the status window even while it is closed.
    void ApplyRelayState(uint8_t relays);
    void ApplyInputState(uint8_t inputs);
    // Everything an addressed command checks before it sends: the address
    // guard, the range of Combo1 and the open port, each with its message.
    // nullopt: the command sends nothing.
    std::optional<uint8_t> CommandAddress(bool moveFocus);
    // The status window's state, made on first need and kept until the
    // window closes; currentDeviceState() is null while nothing holds one.
    DeviceState &deviceState();
    DeviceState *currentDeviceState() const { return m_deviceState.get(); }
    // Opens the status window, or raises the one already open.
    devicestatus *ShowDeviceStatus();
    // The open status window, or null.
    devicestatus *statusWindow() const;
    // The status window reports its closing: its state is discarded and its
    // screen position kept for the next opening.
    void DeviceStatusClosed(devicestatus *window);
    // The text newadd had when the user last clicked into it.
    QString newaddRemembered;
private:
    void buildBoardCommands();
    struct StatusWindowHolder
    {
        // Deletes the window before the rest of the main window goes.
        ~StatusWindowHolder();
        QPointer<devicestatus> window;
    };
    std::shared_ptr<DeviceState> m_deviceState;
    std::optional<QPoint> m_statusPos;
    StatusWindowHolder m_statusWindow;
    // ---- end of protocol: board commands and status window

    // ================================================================ logic: step grid, download, names
public:
    // The scrolled panel (a child of the window, taller than it) and the
    // inner panel that holds steps 5 to 8.
    QWidget *Picture3 = nullptr;
    QWidget *Picture2 = nullptr;
    QGroupBox *Frame4[8] = {};  // step frames; Frame4[s - 1] is step s
    QGroupBox *Frame0[24] = {}; // group frames, numbered as the board's tool always did
    // incheck[s - 1][k]: X0k in the AND group; incheck[s - 1][8 + k]: X0k in the OR group.
    QCheckBox *incheck[8][16] = {};
    // outcheck[s - 1][k]: Y0k of step s.
    QCheckBox *outcheck[8][8] = {};
    QScrollBar *VScroll1 = nullptr;
    // The name editor while it is open.
    QPointer<editform> nameEditor;

    // The 24 boxes of step s (1..8) as they stand now.
    LogicStep ReadLogicStep(int s) const;
    // Caption of X0k in both input groups of every step.
    void SetInputCaption(int k, const QString &text);
    // Caption of Y0k in every step.
    void SetOutputCaption(int k, const QString &text);
    void InitStepGrid();
public slots:
    void writefirst_Click();
    void loadname_Click();
    void editname_Click();
    // Input box Index of step s changed: its partner in the other group is
    // greyed while it is checked.
    void incheck_Click(int s, int Index);
    // Output box Index of step s changed: the same output is greyed in every
    // other step while it is checked.
    void outcheck_Click(int s, int Index);
    void incheck1_Click(int Index) { incheck_Click(1, Index); }
    void incheck2_Click(int Index) { incheck_Click(2, Index); }
    void incheck3_Click(int Index) { incheck_Click(3, Index); }
    void incheck4_Click(int Index) { incheck_Click(4, Index); }
    void incheck5_Click(int Index) { incheck_Click(5, Index); }
    void incheck6_Click(int Index) { incheck_Click(6, Index); }
    void incheck7_Click(int Index) { incheck_Click(7, Index); }
    void incheck8_Click(int Index) { incheck_Click(8, Index); }
    void outcheck1_Click(int Index) { outcheck_Click(1, Index); }
    void outcheck2_Click(int Index) { outcheck_Click(2, Index); }
    void outcheck3_Click(int Index) { outcheck_Click(3, Index); }
    void outcheck4_Click(int Index) { outcheck_Click(4, Index); }
    void outcheck5_Click(int Index) { outcheck_Click(5, Index); }
    void outcheck6_Click(int Index) { outcheck_Click(6, Index); }
    void outcheck7_Click(int Index) { outcheck_Click(7, Index); }
    void outcheck8_Click(int Index) { outcheck_Click(8, Index); }
    void VScroll1_Change();
    void VScroll1_Scroll();
private:
    void buildStepGrid();
    // ---- end of logic

    // ================================================================ terminal: receive display
public:
    // The hexadecimal-display box is ticked.
    bool HexReceiveOn() const;
    QLabel *LblReceive = nullptr;
    QPlainTextEdit *TxtReceive = nullptr;
    QCheckBox *ChkHexReceive = nullptr;
    QLabel *Label10 = nullptr;
    QCheckBox *ChkAutoClear = nullptr;
    QLabel *LblArtoclear = nullptr;
    QPushButton *CmdStopdisp = nullptr;
    QPushButton *CmdClearReceive = nullptr;
    // True while received text (text mode only) is not shown.
    bool DisplayStopped = false;
    // Received data: hexadecimal text into the box and tempstatus, or GBK text into the box.
    void ReceiveHex();
    void ReceiveText();
    // The receive box's text (a copy; for callers and tests), with every
    // received piece in it.
    QString receiveBoxText();
    // Puts the received text still waiting into the receive box now.
    void flushReceiveBox();
public slots:
    void CmdStopdisp_Click();
    void CmdClearReceive_Click();
private:
    void buildTerminalReceive();
    // Appends at the end of the receive box; the caret stays unless moveCaret.
    // The text is collected and put into the box every few milliseconds:
    // each insertion lays out the box's whole paragraph again, and the
    // hexadecimal display is one long line, so it goes in a limited piece
    // per update while a stream faster than the box is coming in.
    void appendReceiveBox(const QString &text, bool moveCaret);
    void setReceiveBox(const QString &text);
    // The first characters of the receive box (what the reply parser looks at).
    QString receiveBoxHead(int count);
    // One timed update of the box; all of it goes in with flushReceiveBox().
    void updateReceiveBox();
    // Puts up to limit waiting characters into the box.
    void insertReceived(int limit);
    QString m_pendingReceive;
    bool m_pendingMoveCaret = false;
    QTimer *m_receiveFlush = nullptr;
    QElapsedTimer m_pendingSince;
    // Under a stream that keeps the event loop busy, Qt runs timers late;
    // the receive path then does the overdue parser tick and box update itself.
    QElapsedTimer m_lastParserTick;
    void autoClearReceiveBox();
    // Keeps a double-byte character split across receive events whole.
    gbk::StreamDecoder m_rxDecoder;
    // ---- end of terminal: receive display

    // ================================================================ terminal: send, files, about
public:
    bool FileSendMode = false;
    // Shows the chosen send file; the names loader writes its path here too.
    QPlainTextEdit *TxtSendPath = nullptr;
    // The port's send event (event code 1). The TX counter is kept from the
    // bytes the port reports written, so this adds nothing.
    void CountSentText();

    QLabel *LblSend = nullptr;
    QPlainTextEdit *TxtSend = nullptr;
    QCheckBox *ChkHexSend = nullptr;
    QLabel *Label11 = nullptr;
    QCheckBox *ChkAutoSend = nullptr;
    QLabel *LblAutoSend = nullptr;
    QLabel *LblArtoSendCyc = nullptr;
    QLineEdit *TxtAutoSendTime = nullptr;
    QLabel *Label14 = nullptr;
    QPushButton *CmdClearSend = nullptr;
    QPushButton *CmdSend = nullptr;
    QPushButton *CmdSelectFile = nullptr;
    QPushButton *CmdSendFile = nullptr;
    QPushButton *CmdSaveDisp = nullptr;
    QPlainTextEdit *TxtSavePath = nullptr;
    QPushButton *CmdHelp = nullptr;

    // 1-based line and column of the caret of a text box (column - 1
    // characters stand before it on its line).
    void GetCaretPos(QPlainTextEdit *box, qint32 &LineNo, qint32 &ColNo) const;
    // The send box's text with CR LF line ends.
    QString SendBoxText() const;
    // The About window while it is open.
    QWidget *aboutWindow() const;
    // True while a file is being sent piece by piece.
    bool fileSending() const;
    // Opens the web page of the link; the system's browser unless replaced.
    std::function<void(const QString &url)> OpenWebPage;
    static QString webPage();

public slots:
    void CmdSend_Click();
    void CmdClearSend_Click();
    void ChkAutoSend_Click();
    void TmrAutoSend_Timer();
    void CmdSelectFile_Click();
    void CmdSendFile_Click();
    void CmdSaveDisp_Click();
    void CmdHelp_Click();
    void LblWeb_Click();
    void LblWeb_MouseMove();

private:
    void buildTerminalSend();
    void buildAbout();
    // Returns true when the key was dealt with (refused or converted).
    bool TxtSend_KeyPress(char16_t KeyAscii);
    void SendData();
    void SendBox();
    void showFileSendProgress();
    void onFileSendFinished(int result);
    QPointer<QWidget> m_frmHelp;
    class FileSender *m_fileSender = nullptr;
    // ---- end of terminal: send, files, about
};
