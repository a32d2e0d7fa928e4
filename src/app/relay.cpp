#include "app/relay.h"

#include "app/widgets.h"
#include "serial/portresolver.h"
#include "serial/qtserialport.h"
#include "serial/serialport.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QTime>
#include <QTimer>

namespace {
const QString kTitle = QStringLiteral("KestruneV1.0");

// The application icon: a relay coil with its contact, drawn at start.
QIcon appIcon()
{
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0, 128, 0));
    p.setPen(QPen(Qt::black, 2));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QRectF(12, 12, 24, 24));
    p.setPen(QPen(Qt::white, 4));
    p.drawLine(QPointF(14, 50), QPointF(50, 50));
    p.drawLine(QPointF(50, 50), QPointF(54, 30));
    return QIcon(pm);
}
} // namespace

relay::relay(Options options, QWidget *parent)
    : QWidget(parent), CommonDialog1(nullptr), m_settingsFolder(options.settingsFolder),
      m_resolver(options.resolver), m_quitApplication(options.quitApplication)
{
    if (m_settingsFolder.isEmpty())
        m_settingsFolder = defaultSettingsFolder();
    if (!m_resolver)
        m_resolver = std::make_shared<PortResolver>(m_settingsFolder);
    if (options.dialogs) {
        m_dialogs = options.dialogs;
    } else {
        m_ownDialogs = std::make_unique<QtDialogs>(this);
        m_dialogs = m_ownDialogs.get();
    }
    CommonDialog1 = CommonDialog(m_dialogs);
    CommonDialog1.Filter = QStringLiteral("文本文件（*.txt）|*.txt");

    MSComm = options.port ? options.port : new QtSerialPort(m_resolver);
    MSComm->setParent(this);
    // Receive and send events work from the first start on, with or without a
    // settings file: the thresholds and buffer sizes are set right here.
    MSComm->setInBufferSize(1024);
    MSComm->setOutBufferSize(4096);
    MSComm->setRThreshold(1);
    MSComm->setSThreshold(1);
    connect(MSComm, &SerialPort::OnComm, this, &relay::MSComm_OnComm);
    connect(MSComm, &SerialPort::portLost, this, &relay::onPortLost);

    setObjectName(QStringLiteral("relay"));
    setWindowTitle(QStringLiteral("Kestrune"));
    setWindowIcon(appIcon());
    resize(1207, 684);
    ui::setBackground(this, ui::darkGreen());
    ui::setTextColor(this, Qt::black);
    setMouseTracking(true);

    buildShell();
    buildPortGroup();
    buildLeftColumn();
    buildStatusRow();
    buildStepGrid();
    buildBoardCommands();
    buildTerminalReceive();
    buildTerminalSend();
    buildAbout();

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(20);
    connect(Timer2, &QTimer::timeout, this, &relay::Timer2_Timer);
    Timer2->start();
    m_lastParserTick.start();

    TmrNowTime = new QTimer(this);
    TmrNowTime->setObjectName(QStringLiteral("TmrNowTime"));
    TmrNowTime->setInterval(50);
    connect(TmrNowTime, &QTimer::timeout, this, &relay::TmrNowTime_Timer);
    TmrNowTime->start();

    updatePortTooltips();
}

relay::~relay()
{
    m_quitting = true;
    m_sleepGate.abort();
    if (MSComm && MSComm->portOpen())
        MSComm->setPortOpen(false);
}

void relay::buildShell()
{
    LblWeb = ui::place<QLabel>(this, QStringLiteral("LblWeb"), 1288, 480, 20, 15, QStringLiteral("WEB"));
    ui::setBackground(LblWeb, ui::statusYellow());
    ui::setTextColor(LblWeb, QColor(57, 120, 138));
    LblWeb->adjustSize();
    LblWeb->resize(qMax(20, LblWeb->width()), qMax(15, LblWeb->height()));

    arrowlabel = ui::place<QLabel>(this, QStringLiteral("arrowlabel"), 1224, 8, 24, 24, QStringLiteral("↓"));
    ui::setTextColor(arrowlabel, Qt::red);
    QFont f = arrowlabel->font();
    f.setPointSize(16);
    f.setBold(true);
    arrowlabel->setFont(f);
    arrowlabel->hide();

    LblNewDate = ui::place<QLabel>(this, QStringLiteral("LblNewDate"), 0, 608, 105, 17, QStringLiteral("显示日前"));
    LblNowTime = ui::place<QLabel>(this, QStringLiteral("LblNowTime"), 0, 640, 105, 21, QStringLiteral("当前时间"));
    for (QLabel *l : {LblNewDate, LblNowTime})
        ui::setBackground(l, ui::darkGreen());

    TmrAutoSend = new QTimer(this);
    TmrAutoSend->setObjectName(QStringLiteral("TmrAutoSend"));
    TmrAutoSend->setInterval(0);
}

void relay::buildLeftColumn()
{
    const QFont big = ui::simSun(14.25);
    Label1 = ui::place<QLabel>(this, QStringLiteral("Label1"), 8, 72, 110, 21, QStringLiteral("485原地址："));
    Combo1 = ui::place<QComboBox>(this, QStringLiteral("Combo1"), 16, 96, 73, 27);
    Combo1->setEditable(true);
    Combo1->setEditText(QStringLiteral("33"));
    Combo1->setInsertPolicy(QComboBox::NoInsert);

    auto button = [&](QPushButton *&b, const char *name, const QString &caption, int x, int y, int w, int h) {
        b = ui::place<QPushButton>(this, QLatin1String(name), x, y, w, h, caption);
        b->setFont(big);
    };
    button(writeadd, "writeadd", QStringLiteral("改485地址"), 8, 136, 105, 33);
    Label9 = ui::place<QLabel>(this, QStringLiteral("Label9"), 8, 184, 64, 27, QStringLiteral("新地址："));
    newadd = ui::place<QLineEdit>(this, QStringLiteral("newadd"), 72, 184, 41, 27, QStringLiteral("33"));
    button(writefirst, "writefirst", QStringLiteral("写入设置"), 8, 232, 105, 33);
    writefirst->setFont(ui::simSun(15));
    button(CmdReset, "CmdReset", QStringLiteral("复 位"), 8, 280, 105, 33);
    button(sdevice, "sdevice", QStringLiteral("搜索设备"), 8, 328, 105, 33);
    button(Command1, "Command1", QStringLiteral("设备状态"), 8, 408, 97, 33);
    button(loadname, "loadname", QStringLiteral("载入名称"), 8, 464, 97, 33);
    button(editname, "editname", QStringLiteral("编辑名称"), 8, 512, 97, 33);
    editname->setFont(ui::simSun(15));
    button(CmdQuit, "CmdQuit", QStringLiteral("退 出"), 16, 560, 81, 33);
    for (QWidget *w : {static_cast<QWidget *>(Label1), static_cast<QWidget *>(Combo1), static_cast<QWidget *>(Label9),
                       static_cast<QWidget *>(newadd)})
        w->setFont(big);

    connect(writeadd, &QPushButton::clicked, this, &relay::writeadd_Click);
    connect(writefirst, &QPushButton::clicked, this, &relay::writefirst_Click);
    connect(CmdReset, &QPushButton::clicked, this, &relay::CmdReset_Click);
    connect(sdevice, &QPushButton::clicked, this, &relay::sdevice_Click);
    connect(Command1, &QPushButton::clicked, this, &relay::Command1_Click);
    connect(loadname, &QPushButton::clicked, this, &relay::loadname_Click);
    connect(editname, &QPushButton::clicked, this, &relay::editname_Click);
    connect(CmdQuit, &QPushButton::clicked, this, &relay::CmdQuit_Click);
}

void relay::buildStatusRow()
{
    TxtStatus = ui::place<QLineEdit>(this, QStringLiteral("TxtStatus"), 288, 656, 111, 18);
    TxtRXCount = ui::place<QLineEdit>(this, QStringLiteral("TxtRXCount"), 400, 656, 73, 18, QStringLiteral("RX:0"));
    TxtTXCount = ui::place<QLineEdit>(this, QStringLiteral("TxtTXCount"), 472, 656, 73, 18, QStringLiteral("TX:0"));
    for (QLineEdit *e : {TxtStatus, TxtRXCount, TxtTXCount}) {
        ui::setBoxColor(e, ui::statusYellow());
        e->setFrame(false);
        e->setReadOnly(true);
    }
    CmdClearCounter = ui::place<QPushButton>(this, QStringLiteral("CmdClearCounter"), 560, 656, 58, 20,
                                             QStringLiteral("计数清零"));
    connect(CmdClearCounter, &QPushButton::clicked, this, [this] {
        RxTotal = 0;
        TxTotal = 0;
        ShowCounters();
    });
}

void relay::ShowCounters()
{
    TxtRXCount->setText(QStringLiteral("RX:") + QString::number(RxTotal));
    TxtTXCount->setText(QStringLiteral("TX:") + QString::number(TxTotal));
}

void relay::ShowMessage(const QString &text, Dialogs::Icon icon)
{
    if (m_quitting)
        return;
    QPointer<relay> self(this);
    m_dialogs->message(kTitle, text, icon);
    Q_UNUSED(self);
}

bool relay::Sleep2(qint32 ms)
{
    return ::Sleep2(ms, &m_sleepGate);
}

void relay::Form_Load()
{
    InitStepGrid();
    InitPort();
    if (m_quitting)
        return;
    if (!MSComm->portOpen()) {
        if (!MSComm->setPortOpen(true))
            return;
    }
    QFont f = LblWeb->font();
    f.setUnderline(true);
    LblWeb->setFont(f);
    ui::setTextColor(LblWeb, QColor(0, 0, 255));
    MSComm->setInputMode(HexReceiveOn() ? SerialPort::InputModeBinary : SerialPort::InputModeText);
    FileSendMode = false;
    Sleep2(100);
}

void relay::CmdQuit_Click()
{
    if (m_quitting)
        return;
    m_quitting = true;
    if (MSComm->portOpen())
        MSComm->setPortOpen(false);
    // Every wait in progress ends now, so nested handlers unwind before the
    // window goes away; they find the port closed and the gate aborted.
    m_sleepGate.abort();
    Timer2->stop();
    TmrNowTime->stop();
    TmrAutoSend->stop();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible())
            w->hide();
    }
    hide();
    if (m_quitApplication)
        m_quitApplication();
    else
        QCoreApplication::exit(0);
}

void relay::closeEvent(QCloseEvent *event)
{
    // Closing the window through its frame quits like the Quit button.
    CmdQuit_Click();
    event->accept();
}

void relay::TmrNowTime_Timer()
{
    const QLocale locale = QLocale::system();
    LblNewDate->setText(locale.toString(QDate::currentDate(), QLocale::ShortFormat));
    LblNowTime->setText(locale.toString(QTime::currentTime(), QLocale::LongFormat));
}

bool relay::RequireDeviceAddress(bool moveFocus)
{
    if (!Combo1->currentText().isEmpty())
        return true;
    ShowMessage(QStringLiteral("485原地址不能为空！请点击“搜索设备”按钮"), Dialogs::Critical);
    if (moveFocus && !m_quitting)
        sdevice->setFocus();
    return false;
}

std::optional<uint8_t> relay::DeviceAddressByte()
{
    bool ok = false;
    const int v = Combo1->currentText().toInt(&ok, 10);
    if (!ok || v < 0 || v > 255) {
        ShowMessage(QStringLiteral("485地址范围为0-255！"), Dialogs::Critical);
        return std::nullopt;
    }
    return uint8_t(v);
}

bool relay::RequirePortOpen()
{
    if (MSComm->portOpen())
        return true;
    ShowMessage(QStringLiteral("串口没有打开，请打开串口"), Dialogs::Warning);
    return false;
}

bool relay::SendFrame(const QByteArray &frame)
{
    if (!RequirePortOpen())
        return false;
    return MSComm->output(frame);
}
