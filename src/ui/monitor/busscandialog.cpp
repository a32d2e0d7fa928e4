#include "monitor/busscandialog.h"

#include "diag/answercheck.h"
#include "diag/busscan.h"
#include "serial/serialport.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

BusScanDialog::BusScanDialog(Link link, QWidget *parent)
    : QWidget(parent, Qt::Window), m_link(std::move(link)), m_scan(new BusScan(m_link.check->client(), this))
{
    setObjectName(QStringLiteral("FrmBusScan"));
    setWindowTitle(QStringLiteral("总线扫描"));
    resize(360, 400);
    const auto box = [this](const char *name, int value) {
        auto *b = new QSpinBox(this);
        b->setObjectName(QLatin1String(name));
        b->setRange(1, 255);
        b->setValue(value);
        return b;
    };
    TxtScanFrom = box("TxtScanFrom", 1);
    TxtScanTo = box("TxtScanTo", 247);
    ChkBaudSweep = new QCheckBox(QStringLiteral("逐个波特率广播搜索"), this);
    ChkBaudSweep->setObjectName(QStringLiteral("ChkBaudSweep"));
    auto *note = new QLabel(QStringLiteral("注意：广播搜索每条总线只能找到一块板（多块板同时应答会相互冲突）；"
                                           "要找多块板，请按地址扫描。"),
                            this);
    note->setObjectName(QStringLiteral("LblScanNote"));
    note->setWordWrap(true);
    CmdScanStart = new QPushButton(QStringLiteral("开始扫描"), this);
    CmdScanStart->setObjectName(QStringLiteral("CmdScanStart"));
    CmdScanCancel = new QPushButton(QStringLiteral("取消"), this);
    CmdScanCancel->setObjectName(QStringLiteral("CmdScanCancel"));
    CmdScanCancel->setEnabled(false);
    PrgScan = new QProgressBar(this);
    PrgScan->setObjectName(QStringLiteral("PrgScan"));
    PrgScan->setValue(0);
    LstScanFound = new QListWidget(this);
    LstScanFound->setObjectName(QStringLiteral("LstScanFound"));
    LstScanFound->setAccessibleName(QStringLiteral("找到的板"));
    LblScanState = new QLabel(QStringLiteral("双击找到的板，设为当前地址"), this);
    LblScanState->setObjectName(QStringLiteral("LblScanState"));

    auto *range = new QFormLayout;
    range->addRow(QStringLiteral("起始地址"), TxtScanFrom);
    range->addRow(QStringLiteral("结束地址"), TxtScanTo);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(CmdScanStart);
    buttons->addWidget(CmdScanCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(range);
    layout->addWidget(ChkBaudSweep);
    layout->addWidget(note);
    layout->addLayout(buttons);
    layout->addWidget(PrgScan);
    layout->addWidget(LstScanFound, 1);
    layout->addWidget(LblScanState);

    connect(CmdScanStart, &QPushButton::clicked, this, &BusScanDialog::CmdScanStart_Click);
    connect(CmdScanCancel, &QPushButton::clicked, this, &BusScanDialog::CmdScanCancel_Click);
    connect(m_scan, &BusScan::progress, this, [this](int done, int total) {
        PrgScan->setMaximum(total);
        PrgScan->setValue(done);
    });
    connect(m_scan, &BusScan::found, this, &BusScanDialog::found);
    connect(m_scan, &BusScan::finished, this, &BusScanDialog::done);
    connect(LstScanFound, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        if (m_link.apply && !m_scan->running())
            m_link.apply(item->data(Qt::UserRole).toInt(), item->data(Qt::UserRole + 1).toInt());
    });
}

void BusScanDialog::CmdScanStart_Click()
{
    if (m_scan->running())
        return;
    SerialPort *port = m_link.port;
    if (!port || !port->portOpen()) {
        LblScanState->setText(QStringLiteral("串口没有打开，请打开串口"));
        return;
    }
    LstScanFound->clear();
    PrgScan->setValue(0);
    CmdScanStart->setEnabled(false);
    CmdScanCancel->setEnabled(true);
    LblScanState->setText(QStringLiteral("正在扫描…"));
    if (!ChkBaudSweep->isChecked()) {
        m_scan->scanAddresses(TxtScanFrom->value(), TxtScanTo->value());
        return;
    }
    QList<int> bauds;
    for (const QString &b : m_link.baudRates ? m_link.baudRates() : QStringList())
        if (const int v = b.toInt(); v > 0)
            bauds << v;
    m_ownSettings = port->settings();
    const QString rest = m_ownSettings.section(QLatin1Char(','), 1);
    m_scan->sweepBauds(
        bauds,
        [this, port, rest](int baud) {
            const QString settings = QString::number(baud) + QLatin1Char(',') + rest;
            port->setPortOpen(false);
            if (!port->setSettings(settings) || !port->setPortOpen(true))
                return false;
            m_link.check->setLine(settings);
            return true;
        },
        [this, port] {
            // The port goes back to the settings it had before the sweep.
            port->setPortOpen(false);
            port->setSettings(m_ownSettings);
            port->setPortOpen(true);
            m_link.check->setLine(m_ownSettings);
        });
}

void BusScanDialog::CmdScanCancel_Click()
{
    m_scan->cancel();
}

void BusScanDialog::found(int address, int baud)
{
    const QString text = baud > 0 ? QStringLiteral("地址%1（%2波特）").arg(address).arg(baud)
                                  : QStringLiteral("地址%1").arg(address);
    auto *item = new QListWidgetItem(text, LstScanFound);
    item->setData(Qt::UserRole, address);
    item->setData(Qt::UserRole + 1, baud);
}

void BusScanDialog::done(bool cancelled)
{
    CmdScanStart->setEnabled(true);
    CmdScanCancel->setEnabled(false);
    const int n = LstScanFound->count();
    LblScanState->setText(cancelled ? QStringLiteral("已取消，找到%1块板").arg(n)
                          : n > 0   ? QStringLiteral("找到%1块板：双击设为当前地址").arg(n)
                                    : QStringLiteral("没有找到板：请检查接线和波特率"));
}
