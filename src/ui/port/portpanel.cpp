// The port group: boxes, switch, opening and closing, the port display, the
// settings file and the greeting.
#include "port/portpanel.h"

#include "app/messages.h"
#include "app/widgets.h"
#include "board/boardsession.h"
#include "port/portreconnect.h"
#include "serial/openfailure.h"
#include "serial/portresolver.h"
#include "serial/serialport.h"

#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

namespace {
QPixmap switchPicture(bool on)
{
    QPixmap pm(30, 28);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(on ? QColor(40, 220, 40) : QColor(110, 110, 110));
    p.drawRoundedRect(QRectF(1, 7, 28, 14), 7, 7);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(on ? 15 : 1, 6, 14, 16));
    return pm;
}

QComboBox *portBox(QWidget *parent, const char *name, int y, const QStringList &items, const QString &text)
{
    QComboBox *b = ui::place<QComboBox>(parent, QLatin1String(name), 144 + 56, y, 80, 21);
    b->setEditable(true);
    b->setInsertPolicy(QComboBox::NoInsert);
    b->addItems(items);
    b->setEditText(text);
    return b;
}
} // namespace

PortPanel::PortPanel(QWidget *host, SerialPort *port, BoardSession *session,
                     std::shared_ptr<const PortResolver> resolver, QString settingsFolder, Messages *messages)
    : QObject(host), MSComm(port), m_session(session), m_resolver(std::move(resolver)),
      m_settingsFolder(std::move(settingsFolder)), m_messages(messages)
{
    setObjectName(QStringLiteral("portGroup"));
    Frame1 = ui::place<QFrame>(host, QStringLiteral("Frame1(1)"), 0, 0, 110, 69);
    ui::setBackground(Frame1, ui::darkGreen());
    const QFont small = ui::simSun(10.5);

    QLabel *Label4 = ui::place<QLabel>(Frame1, QStringLiteral("Label4"), -8, 8, 56, 21, QStringLiteral("串口"));
    Label4->setFont(small);
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    CboCom = ui::place<QComboBox>(Frame1, QStringLiteral("CboCom"), 48, 8, 60, 21);
    CboCom->setEditable(true);
    CboCom->setInsertPolicy(QComboBox::NoInsert);
    for (int i = 1; i <= 15; ++i)
        CboCom->addItem(QStringLiteral("COM%1").arg(i));
    CboCom->setEditText(QStringLiteral("COM1"));

    CmdSwitch = ui::place<QPushButton>(Frame1, QStringLiteral("CmdSwitch"), 40, 32, 65, 29, QStringLiteral("关闭串口"));
    ImgSwitchOn = ui::place<QLabel>(Frame1, QStringLiteral("ImgSwitchOn"), 8, 32, 30, 28);
    ImgSwitchOn->setPixmap(switchPicture(true));
    ImgSwitchOff = ui::place<QLabel>(Frame1, QStringLiteral("ImgSwitchOff"), 8, 32, 30, 28);
    ImgSwitchOff->setPixmap(switchPicture(false));

    // Beyond the frame's width: reachable through the keyboard focus order only.
    QLabel *Label5 = ui::place<QLabel>(Frame1, QStringLiteral("Label5"), 144, 8, 56, 21, QStringLiteral("波特率"));
    QLabel *Label6 = ui::place<QLabel>(Frame1, QStringLiteral("Label6"), 144, 32, 56, 21, QStringLiteral("校验位"));
    QLabel *Label7 = ui::place<QLabel>(Frame1, QStringLiteral("Label7"), 144, 56, 56, 21, QStringLiteral("数据位"));
    QLabel *Label8 = ui::place<QLabel>(Frame1, QStringLiteral("Label8"), 144, 80, 56, 21, QStringLiteral("停止位"));
    for (QLabel *l : {Label5, Label6, Label7, Label8})
        l->setFont(small);
    CboBaudrate = portBox(Frame1, "CboBaudrate", 8,
                          {"300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "28800", "38400",
                           "56000", "128000", "256000"},
                          QStringLiteral("9600"));
    CboParitybit = portBox(Frame1, "CboParitybit", 32, {"NONE", "ODD", "ENEV", "SPACE", "MARK"}, QStringLiteral("NONE"));
    CboDatabit = portBox(Frame1, "CboDatabit", 56, {"8", "7", "6", "5"}, QStringLiteral("8"));
    CboStopbit = portBox(Frame1, "CboStopbit", 80, {"1", "1.5", "2"}, QStringLiteral("1"));

    // The status box sits in the status row; the arrow at the top right.
    TxtStatus = ui::place<QLineEdit>(host, QStringLiteral("TxtStatus"), 288, 656, 111, 18);
    ui::setBoxColor(TxtStatus, ui::statusYellow());
    TxtStatus->setFrame(false);
    TxtStatus->setReadOnly(true);
    arrowlabel = ui::place<QLabel>(host, QStringLiteral("arrowlabel"), 1224, 8, 24, 24, QStringLiteral("↓"));
    ui::setTextColor(arrowlabel, Qt::red);
    QFont f = arrowlabel->font();
    f.setPointSize(16);
    f.setBold(true);
    arrowlabel->setFont(f);
    arrowlabel->hide();

    // The adapter was pulled or the peer went away: the port is already
    // closed; show it closed.
    connect(MSComm, &SerialPort::portLost, this, [this] {
        ClosePort();
        m_reconnect->lost();
    });
    // A lost port comes back by itself when its device does; quietly, with
    // the boxes' settings, as the user had it.
    m_reconnect = new PortReconnect(m_resolver, [this] {
        const auto ps = formPortSettings(portBoxes());
        if (!ps || !openWith(*ps))
            return false;
        showOpenDisplay();
        return true;
    }, this);
    connect(m_reconnect, &PortReconnect::reconnected, this, [this] {
        emit portReconnected(QStringLiteral("串口已重新连接：") + TxtStatus->text());
    });
    connect(CmdSwitch, &QPushButton::clicked, this, &PortPanel::CmdSwitch_Click);
    connect(CboCom, qOverload<int>(&QComboBox::activated), this, [this] { CboCom_Click(); });
    connect(CboBaudrate, qOverload<int>(&QComboBox::activated), this, [this] { CboBaudrate_Click(); });
    connect(CboParitybit, qOverload<int>(&QComboBox::activated), this, [this] { CboParitybit_Click(); });
    connect(CboDatabit, qOverload<int>(&QComboBox::activated), this, [this] { CboDatabit_Click(); });
    connect(CboStopbit, qOverload<int>(&QComboBox::activated), this, [this] { CboStopbit_Click(); });
    connect(CboCom, &QComboBox::currentTextChanged, this, [this] { updatePortTooltips(); });
    updatePortTooltips();
}

void PortPanel::updatePortTooltips()
{
    if (!CboCom || !m_resolver)
        return;
    const QStringList tips = m_resolver->describeAll(CboCom->count());
    for (int i = 0; i < CboCom->count(); ++i)
        CboCom->setItemData(i, tips.at(i), Qt::ToolTipRole);
    const auto ps = formPortSettings(portBoxes());
    QString tip;
    if (ps)
        tip = ps->port >= 1 && ps->port <= tips.size() ? tips.at(ps->port - 1) : m_resolver->describe(ps->port);
    CboCom->setToolTip(tip);
    if (TxtStatus)
        TxtStatus->setToolTip(m_openAdvice.isEmpty() ? tip : tip + QLatin1Char('\n') + m_openAdvice);
}

QStringList PortPanel::baudRates() const
{
    QStringList rates;
    for (int i = 0; i < CboBaudrate->count(); ++i)
        rates << CboBaudrate->itemText(i);
    return rates;
}

void PortPanel::setBaudRate(const QString &baud)
{
    CboBaudrate->setEditText(baud);
    CboBaudrate_Click();
}

PortBoxes PortPanel::portBoxes() const
{
    PortBoxes b;
    b.com = CboCom->currentText();
    b.baud = CboBaudrate->currentText();
    b.parity = CboParitybit->currentText();
    b.data = CboDatabit->currentText();
    b.stop = CboStopbit->currentText();
    return b;
}

void PortPanel::showOpenDisplay()
{
    const PortBoxes b = portBoxes();
    TxtStatus->setText(QStringLiteral("STATUS：") + b.com + QStringLiteral(" OPEND，") + b.baud + QLatin1Char(',') +
                       b.parity.left(1) + QLatin1Char(',') + b.data + QLatin1Char(',') + b.stop);
    TxtStatus->setCursorPosition(0);
    CmdSwitch->setText(QStringLiteral("关闭串口"));
    ImgSwitchOn->show();
    ImgSwitchOff->hide();
    updatePortTooltips();
    emit portDisplayChanged();
}

void PortPanel::showClosedDisplay(const QString &statusText, bool setCaption)
{
    TxtStatus->setText(statusText);
    TxtStatus->setCursorPosition(0);
    if (setCaption)
        CmdSwitch->setText(QStringLiteral("打开串口"));
    ImgSwitchOn->hide();
    ImgSwitchOff->show();
    updatePortTooltips();
    emit portDisplayChanged();
}

void PortPanel::InitPort()
{
    bool ok = false;
    do {
        QFile f(settingsFilePath(m_settingsFolder));
        if (!f.open(QIODevice::ReadOnly))
            break;
        // The file is five short lines; more than this is not a settings file.
        const QByteArray bytes = f.read(64 * 1024);
        f.close();
        const SettingsFileContent c = parseSettingsFile(bytes);
        if (const auto com = c.com())
            CboCom->setEditText(*com);
        if (const auto parity = c.parity())
            CboParitybit->setEditText(*parity);
        if (!c.complete)
            break;
        CboBaudrate->setEditText(c.baud());
        CboDatabit->setEditText(c.dataBits());
        CboStopbit->setEditText(c.stopBits());

        const auto ps = formPortSettings(portBoxes());
        if (!ps || !openWith(*ps))
            break;
        ok = true;
    } while (false);

    if (!ok) {
        m_messages->show(QStringLiteral("没有发现此串口或被占用"), Dialogs::Warning);
        ClosePort();
        return;
    }
    if (MSComm->portOpen())
        showOpenDisplay();
    else
        showClosedDisplay(QStringLiteral("STATUS：COM Port Cloced"), false);
}

bool PortPanel::openWith(const PortSettings &settings)
{
    // A command waiting on the old port stops; it never goes on on the new one.
    m_session->portSwitching();
    if (MSComm->portOpen())
        MSComm->setPortOpen(false);
    if (settings.port < 1 || settings.port > 255) {
        explainFailure(settings.port);
        return false;
    }
    MSComm->setCommPort(settings.port);
    if (!MSComm->setSettings(settings.settingsText())) {
        explainFailure(settings.port);
        return false;
    }
    MSComm->setInBufferCount(0);
    MSComm->setOutBufferCount(0);
    if (!MSComm->setPortOpen(true)) {
        explainFailure(settings.port);
        return false;
    }
    m_openAdvice.clear();
    m_reconnect->opened(settings.port);
    emit portOpened();
    return true;
}

void PortPanel::explainFailure(int portNumber)
{
    const QString name = QStringLiteral("COM%1").arg(portNumber);
    const QString device = m_resolver && portNumber >= 1 ? m_resolver->resolve(portNumber) : QString();
    m_openAdvice = explainOpenFailure(name, device, MSComm->errorString(), m_settingsFolder).advice;
    updatePortTooltips();
    emit openFailed(m_openAdvice);
}

void PortPanel::ReopenPort(const PortSettings &settings)
{
    const bool ok = openWith(settings);
    if (!ok) {
        m_messages->show(QStringLiteral("没有成功，请重试"), Dialogs::Warning);
        ClosePort();
        return;
    }
    if (MSComm->portOpen())
        showOpenDisplay();
    else
        showClosedDisplay(QStringLiteral("STATUS：COM Port Cloced"), true);
}

void PortPanel::OpenPort()
{
    if (MSComm->portOpen())
        MSComm->setPortOpen(false);
    const auto ps = formPortSettings(portBoxes());
    if (!ps)
        return;
    ReopenPort(*ps);
    if (MSComm->portOpen())
        showOpenDisplay();
    else
        showClosedDisplay(QStringLiteral("STATUS：") + CboCom->currentText() + QStringLiteral(" Cloced"), true);
}

void PortPanel::ClosePort()
{
    // Closed on purpose (or on a loss, which starts the watch again after this).
    m_reconnect->stop();
    m_session->portSwitching();
    if (MSComm->portOpen())
        MSComm->setPortOpen(false);
    showClosedDisplay(QStringLiteral("STATUS：") + CboCom->currentText() + QStringLiteral("  Cloced"), true);
}

bool PortPanel::WriteSettingsFile()
{
    return writeFileAtomically(settingsFilePath(m_settingsFolder), formatSettingsFile(portBoxes()));
}

void PortPanel::GreetingSequence()
{
    m_session->greeting([this](bool on) { arrowlabel->setVisible(on); });
}

void PortPanel::CmdSwitch_Click()
{
    if (MSComm->portOpen()) {
        ClosePort();
        return;
    }
    OpenPort();
    if (m_messages->quitting())
        return;
    const auto ps = formPortSettings(portBoxes());
    if (!ps)
        return;
    ReopenPort(*ps);
    if (m_messages->quitting())
        return;
    if (!WriteSettingsFile())
        return;
    GreetingSequence();
}

void PortPanel::CboCom_Click()
{
    m_reconnect->stop();
    const auto ps = formPortSettings(portBoxes());
    if (!ps)
        return;
    ReopenPort(*ps);
    if (m_messages->quitting())
        return;
    if (!WriteSettingsFile())
        return;
    if (MSComm->portOpen())
        GreetingSequence();
}

void PortPanel::CboBaudrate_Click()
{
    if (const auto ps = formPortSettings(portBoxes()))
        ReopenPort(*ps);
}

void PortPanel::CboParitybit_Click()
{
    CboBaudrate_Click();
}

void PortPanel::CboDatabit_Click()
{
    CboBaudrate_Click();
}

void PortPanel::CboStopbit_Click()
{
    CboBaudrate_Click();
}
