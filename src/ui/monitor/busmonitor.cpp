#include "monitor/busmonitor.h"

#include "app/messages.h"
#include "diag/busframemodel.h"
#include "serial/portsettings.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

BusMonitor::BusMonitor(BusFrameModel *model, Messages *messages, QWidget *parent)
    : QWidget(parent, Qt::Window), m_model(model), m_messages(messages)
{
    setObjectName(QStringLiteral("FrmBusMonitor"));
    setWindowTitle(QStringLiteral("总线监视"));
    resize(760, 420);

    GridFrames = new QTableView(this);
    GridFrames->setObjectName(QStringLiteral("GridFrames"));
    GridFrames->setAccessibleName(QStringLiteral("总线帧列表"));
    GridFrames->setModel(model);
    GridFrames->verticalHeader()->hide();
    // Fixed row heights and column widths: a view that measured every new
    // row would cost more than the list under a flood.
    GridFrames->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    GridFrames->verticalHeader()->setDefaultSectionSize(20);
    GridFrames->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    GridFrames->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {80, 44, 220, 220, 44};
    for (int c = 0; c < 5; ++c)
        GridFrames->setColumnWidth(c, widths[c]);
    GridFrames->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridFrames->setEditTriggers(QAbstractItemView::NoEditTriggers);

    CmdMonitorPause = new QPushButton(QStringLiteral("暂停"), this);
    CmdMonitorPause->setObjectName(QStringLiteral("CmdMonitorPause"));
    auto *CmdMonitorClear = new QPushButton(QStringLiteral("清空"), this);
    CmdMonitorClear->setObjectName(QStringLiteral("CmdMonitorClear"));
    auto *CmdMonitorSave = new QPushButton(QStringLiteral("保存CSV"), this);
    CmdMonitorSave->setObjectName(QStringLiteral("CmdMonitorSave"));
    auto *CmdBusScan = new QPushButton(QStringLiteral("总线扫描"), this);
    CmdBusScan->setObjectName(QStringLiteral("CmdBusScan"));
    connect(CmdBusScan, &QPushButton::clicked, this, &BusMonitor::scanRequested);
    LblMonitorNote = new QLabel(this);
    LblMonitorNote->setObjectName(QStringLiteral("LblMonitorNote"));
    LblMonitorNote->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(CmdMonitorPause);
    buttons->addWidget(CmdMonitorClear);
    buttons->addWidget(CmdMonitorSave);
    buttons->addWidget(CmdBusScan);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(GridFrames, 1);
    layout->addWidget(LblMonitorNote);

    connect(CmdMonitorPause, &QPushButton::clicked, this, &BusMonitor::CmdMonitorPause_Click);
    connect(CmdMonitorClear, &QPushButton::clicked, this, &BusMonitor::CmdMonitorClear_Click);
    connect(CmdMonitorSave, &QPushButton::clicked, this, &BusMonitor::CmdMonitorSave_Click);
    // New rows keep the list at its end unless the user scrolled up to read.
    QScrollBar *bar = GridFrames->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int v) { m_follow = v >= bar->maximum(); });
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_follow && isVisible())
            GridFrames->scrollToBottom();
    });
}

void BusMonitor::setNote(const QString &text)
{
    LblMonitorNote->setText(text);
}

void BusMonitor::CmdMonitorPause_Click()
{
    m_model->setPaused(!m_model->paused());
    CmdMonitorPause->setText(m_model->paused() ? QStringLiteral("继续") : QStringLiteral("暂停"));
}

void BusMonitor::CmdMonitorClear_Click()
{
    m_model->clear();
}

void BusMonitor::CmdMonitorSave_Click()
{
    m_model->flush();
    Dialogs::FileRequest rq;
    rq.save = true;
    rq.title = QStringLiteral("保存总线记录");
    rq.filter = QStringLiteral("CSV文件（*.csv）|*.csv");
    rq.fileName = QStringLiteral("bus.csv");
    rq.confirmOverwrite = true;
    const std::optional<QString> path = m_messages->dialogs()->file(rq);
    if (!path || path->isEmpty())
        return;
    QString error;
    // Written whole or not at all.
    if (!writeFileAtomically(*path, m_model->toCsv(), &error))
        m_messages->show(QStringLiteral("保存失败：") + error, Dialogs::Warning);
}
