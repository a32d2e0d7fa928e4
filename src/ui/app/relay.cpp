#include "app/relay.h"

#include "app/aboutpanel.h"
#include "app/accessiblenames.h"
#include "app/scrolledcontent.h"
#include "app/messages.h"
#include "app/widgets.h"
#include "board/boardpanel.h"
#include "board/boardsession.h"
#include "board/sleep2.h"
#include "diag/answercheck.h"
#include "diag/diagnosticspanel.h"
#include "logic/namesgroup.h"
#include "logic/programcommands.h"
#include "logic/editform.h"
#include "logic/stepgrid.h"
#include "port/portpanel.h"
#include "protocol/replystream.h"
#include "serial/portresolver.h"
#include "serial/portsettings.h"
#include "serial/qtserialport.h"
#include "serial/serialport.h"
#include "status/statuswindowhost.h"
#include "terminal/filecommands.h"
#include "terminal/receivepane.h"
#include "terminal/sendpane.h"
#include "terminal/trafficcounters.h"
#include "timing.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QTime>
#include <QTimer>

struct relay::Parts
{
    Parts(Dialogs *given, QWidget *window)
        : ownDialogs(given ? nullptr : new QtDialogs(window)), waiter(&gate),
          messages(given ? given : ownDialogs.get()), commonDialog(messages.dialogs())
    {
    }

    std::unique_ptr<Dialogs> ownDialogs;
    std::function<void()> quitApplication;
    SleepGate gate;
    GateWaiter waiter;
    Messages messages;
    CommonDialog commonDialog;
    // The core.
    BoardSession *session = nullptr;
    ReplyStream *replies = nullptr;
    TrafficCounters *counters = nullptr;
    // The groups.
    PortPanel *port = nullptr;
    StatusWindowHost *status = nullptr;
    BoardPanel *board = nullptr;
    NamesGroup *names = nullptr;
    StepGrid *grid = nullptr;
    ReceivePane *receive = nullptr;
    SendPane *send = nullptr;
    FileCommands *files = nullptr;
    AboutPanel *about = nullptr;
    DiagnosticsPanel *diag = nullptr;
    // The shell's own controls.
    QTimer *TmrNowTime = nullptr;
    QLabel *LblNewDate = nullptr, *LblNowTime = nullptr;
    QLineEdit *TxtRXCount = nullptr, *TxtTXCount = nullptr;
    QScrollArea *ContentScroll = nullptr;
    QWidget *content = nullptr; // holds every control of the window
    // The counters follow a stream at frame rate; the clock's last tick.
    QTimer *counterFrame = nullptr;
    QElapsedTimer countersShown, clockShown;
    qint64 clockSecond = -1; // the second of the time the clock shows
};

relay::relay(Options options, QWidget *parent) : QWidget(parent)
{
    const QString folder = options.settingsFolder.isEmpty() ? defaultSettingsFolder() : options.settingsFolder;
    std::shared_ptr<const PortResolver> resolver =
        options.resolver ? options.resolver : std::make_shared<PortResolver>(folder);
    d = std::make_unique<Parts>(options.dialogs, this);
    d->quitApplication = options.quitApplication;
    d->commonDialog.Filter = QStringLiteral("文本文件（*.txt）|*.txt");

    MSComm = options.port ? options.port : new QtSerialPort(resolver);
    MSComm->setParent(this);
    // Receive and send events work from the first start on, with or without a
    // settings file: the thresholds and buffer sizes are set right here.
    setUpBuffers(*MSComm);

    setObjectName(QStringLiteral("relay"));
    setWindowTitle(QStringLiteral("Kestrune"));
    setWindowIcon(ui::appIcon());
    resize(1207, 684);
    ui::setBackground(this, ui::darkGreen());
    ui::setTextColor(this, Qt::black);
    // The controls stand on a content widget in a scroll area, at their
    // places relative to it; on a screen smaller than the content the user
    // scrolls to every control.
    d->content = ui::makeScrolledContent(this, &d->ContentScroll);
    d->content->setMouseTracking(true);
    d->content->installEventFilter(this);
    QWidget *host = d->content;

    d->session = new BoardSession(MSComm, &d->waiter, this);
    d->replies = new ReplyStream(this);
    d->counters = new TrafficCounters(this);
    Messages *messages = &d->messages;

    buildShell();
    d->port = new PortPanel(host, MSComm, d->session, resolver, folder, messages);
    StatusLink link;
    link.commandAddress = [this](bool moveFocus) { return d->board->CommandAddress(moveFocus); };
    link.session = d->session;
    link.messages = messages;
    d->status = new StatusWindowHost(host, link);
    d->board = new BoardPanel(host, d->session, d->status, messages);
    d->names = new NamesGroup(host, nullptr, &d->commonDialog, messages);
    auto *CmdQuit = ui::place<QPushButton>(host, QStringLiteral("CmdQuit"), 16, 560, 81, 33, QStringLiteral("退 出"));
    CmdQuit->setFont(ui::simSun(14.25));
    connect(CmdQuit, &QPushButton::clicked, this, &relay::CmdQuit_Click);

    // The status row: the port's status box (port group), the counters.
    d->TxtRXCount = ui::place<QLineEdit>(host, QStringLiteral("TxtRXCount"), 400, 656, 73, 18, QStringLiteral("RX:0"));
    d->TxtTXCount = ui::place<QLineEdit>(host, QStringLiteral("TxtTXCount"), 472, 656, 73, 18, QStringLiteral("TX:0"));
    for (QLineEdit *e : {d->TxtRXCount, d->TxtTXCount}) {
        ui::setBoxColor(e, ui::statusYellow());
        e->setFrame(false);
        e->setReadOnly(true);
    }
    auto *CmdClearCounter = ui::place<QPushButton>(host, QStringLiteral("CmdClearCounter"), 560, 656, 58, 20,
                                                   QStringLiteral("计数清零"));
    connect(CmdClearCounter, &QPushButton::clicked, this, &relay::CmdClearCounter_Click);

    d->grid = new StepGrid(host);
    d->receive = new ReceivePane(host, MSComm, d->replies, d->counters);
    d->send = new SendPane(host, MSComm, messages);
    d->files = new FileCommands(host, MSComm, d->send, &d->commonDialog, messages,
                                [this] { return d->receive->HexReceiveOn(); });
    d->about = new AboutPanel(host, messages);
    // Program files: the grid's context menu and Ctrl+S / Ctrl+O.
    new ProgramCommands(this, d->grid, d->names, messages);
    d->diag = new DiagnosticsPanel(host, MSComm, messages);
    d->diag->attach(d->session, d->receive, d->port, d->board);
    wireGroups();
    ui::nameMainWindowControls(this);
    // The grid's panel is taller than the window by design; its own bar scrolls it.
    ui::fitScrolledContent(this, d->content, "Picture3");
}

relay::~relay()
{
    d->messages.setQuitting();
    d->gate.abort();
    d->content->removeEventFilter(this);
    if (MSComm && MSComm->portOpen())
        MSComm->setPortOpen(false);
    // The groups and windows go while the parts they were given still exist.
    while (!children().isEmpty())
        delete children().constFirst();
}

QWidget *relay::content() const { return d->content; }

void relay::buildShell()
{
    d->LblNewDate = ui::place<QLabel>(d->content, QStringLiteral("LblNewDate"), 0, 608, 105, 17, QStringLiteral("显示日前"));
    d->LblNowTime = ui::place<QLabel>(d->content, QStringLiteral("LblNowTime"), 0, 640, 105, 21, QStringLiteral("当前时间"));
    for (QLabel *l : {d->LblNewDate, d->LblNowTime})
        ui::setBackground(l, ui::darkGreen());
    d->TmrNowTime = new QTimer(this);
    d->TmrNowTime->setObjectName(QStringLiteral("TmrNowTime"));
    d->TmrNowTime->setInterval(timing::kClockTick);
    connect(d->TmrNowTime, &QTimer::timeout, this, &relay::TmrNowTime_Timer);
    d->TmrNowTime->start();
    d->clockShown.start();
}

void relay::wireGroups()
{
    d->board->setGrid(d->grid);
    d->names->setGrid(d->grid);
    // Bytes to lamps: the parser's findings go to the status state and the address box.
    d->replies->addressText = [this] { return d->board->addressText(); };
    // A stream nobody waits on is read in batches; the parser's tick takes in
    // what has arrived first, so its answers come on the ticks they always
    // did. While the answer checks time the gaps between frames, a pause stays
    // well inside a gap.
    d->replies->takeInput = [this] { MSComm->receiveNow(); };
    MSComm->setReceivePacing(timing::kReceivePacing, [check = d->diag->check()] { return check->readPauseLimitMs(); });
    connect(d->replies, &ReplyStream::addressFound, d->board, &BoardPanel::setAddressText);
    connect(d->replies, &ReplyStream::relayStateFound, d->status, &StatusWindowHost::ApplyRelayState);
    connect(d->replies, &ReplyStream::inputStateFound, d->status, &StatusWindowHost::ApplyInputState);
    // The TX counter counts what the port reports as written, whoever wrote
    // it: every byte once, board commands and file pieces included.
    connect(MSComm, &SerialPort::bytesWritten, d->counters, &TrafficCounters::addSent);
    d->counterFrame = new QTimer(this);
    d->counterFrame->setSingleShot(true);
    d->counterFrame->setInterval(timing::kCounterFrame);
    connect(d->counterFrame, &QTimer::timeout, this, &relay::ShowCounters);
    connect(d->counters, &TrafficCounters::changed, this, [this] {
        // A TX change (rare) shows at once; RX follows the reads at the
        // counter's own rate, in one of the receive box's frames when it has
        // them (one repaint for both), and at once should timers fall behind
        // under a busy loop.
        if (!d->countersShown.isValid() || d->countersShown.elapsed() >= 2 * timing::kCounterFrame
            || d->TxtTXCount->text() != d->counters->txText())
            ShowCounters();
        else if (!d->counterFrame->isActive())
            d->counterFrame->start();
        // A steady stream can keep the clock's timer from running: reads run it.
        if (d->clockShown.isValid() && d->clockShown.elapsed() >= timing::kClockOverdue)
            TmrNowTime_Timer();
    });
    connect(d->receive, &ReceivePane::displayFrame, this, [this] {
        // The last of the box's frames before the counter falls due.
        if (d->counterFrame->isActive() && d->countersShown.elapsed() >= timing::kCounterFrame - timing::kDisplayFrame)
            ShowCounters();
    });
    connect(d->session, &BoardSession::portNotOpen, this,
            [this] { d->messages.show(Messages::portNotOpen(), Dialogs::Warning); });
    connect(d->names, &NamesGroup::fileChosen, d->files, &FileCommands::showSendPath);
    connect(d->port, &PortPanel::portDisplayChanged, d->files, &FileCommands::portChanged);

    // The keyboard walks the window as it always did: the status box after
    // the Quit button, direct output after the last box of the grid.
    const auto named = [this](const char *name) { return findChild<QWidget *>(QLatin1String(name)); };
    QWidget::setTabOrder(named("CmdQuit"), named("TxtStatus"));
    QWidget::setTabOrder(named("outcheck8(7)"), named("Command2"));
}

void relay::Form_Load()
{
    d->grid->InitStepGrid();
    d->port->InitPort();
    if (isQuitting())
        return;
    if (!MSComm->portOpen()) {
        if (!MSComm->setPortOpen(true))
            return;
    }
    d->about->showAsLink();
    MSComm->setInputMode(d->receive->HexReceiveOn() ? SerialPort::InputModeBinary : SerialPort::InputModeText);
    d->waiter.wait(timing::kStartUpSettle);
}

bool relay::isQuitting() const
{
    return d->messages.quitting();
}

CommonDialog &relay::commonDialog() { return d->commonDialog; }
ReplyStream *relay::replies() const { return d->replies; }
BoardSession *relay::session() const { return d->session; }
TrafficCounters *relay::counters() const { return d->counters; }
PortPanel *relay::portGroup() const { return d->port; }
BoardPanel *relay::boardCommands() const { return d->board; }
StepGrid *relay::stepGrid() const { return d->grid; }
NamesGroup *relay::names() const { return d->names; }
StatusWindowHost *relay::statusWindows() const { return d->status; }
ReceivePane *relay::receivePane() const { return d->receive; }
SendPane *relay::sendPane() const { return d->send; }
FileCommands *relay::fileCommands() const { return d->files; }
AboutPanel *relay::about() const { return d->about; }
DiagnosticsPanel *relay::diagnostics() const { return d->diag; }

void relay::CmdQuit_Click()
{
    if (isQuitting())
        return;
    d->messages.setQuitting();
    if (MSComm->portOpen())
        MSComm->setPortOpen(false);
    // Every wait in progress ends now, so nested handlers unwind before the
    // window goes away; they find the port closed and the gate aborted.
    d->gate.abort();
    d->replies->stop();
    d->TmrNowTime->stop();
    d->send->stop();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible())
            w->hide();
    }
    hide();
    if (d->quitApplication)
        d->quitApplication();
    else
        QCoreApplication::exit(0);
}

void relay::closeEvent(QCloseEvent *event)
{
    // Closing the window through its frame quits like the Quit button.
    CmdQuit_Click();
    event->accept();
}

bool relay::eventFilter(QObject *watched, QEvent *event)
{
    // Only the window's own background ends the link's hover; moving from the
    // link straight onto another control keeps it.
    if (watched == d->content && event->type() == QEvent::MouseMove && d->about) {
        if (!d->content->childAt(static_cast<QMouseEvent *>(event)->position().toPoint()))
            d->about->hoverEnded();
    }
    return QWidget::eventFilter(watched, event);
}

void relay::TmrNowTime_Timer()
{
    d->clockShown.restart();
    // The date and time change only with the second: a tick within the shown
    // second has nothing to show, and turning the time into local time reads
    // the system's time zone file each time.
    const qint64 second = QDateTime::currentMSecsSinceEpoch() / 1000;
    if (second == d->clockSecond)
        return;
    d->clockSecond = second;
    const QLocale locale = QLocale::system();
    ui::setTextIfChanged(d->LblNewDate, locale.toString(QDate::currentDate(), QLocale::ShortFormat));
    ui::setTextIfChanged(d->LblNowTime, locale.toString(QTime::currentTime(), QLocale::LongFormat));
}

void relay::CmdClearCounter_Click()
{
    d->counters->clear();
    ShowCounters();
}

void relay::ShowCounters()
{
    // A line edit does not skip an unchanged text: each setText lays out and repaints.
    d->counterFrame->stop();
    d->countersShown.start();
    ui::setTextIfChanged(d->TxtRXCount, d->counters->rxText());
    ui::setTextIfChanged(d->TxtTXCount, d->counters->txText());
}
