#include "boardwindow.h"

#include "logic/logicstep.h"

#include "boarddevice.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTime>
#include <QVBoxLayout>

namespace board {

namespace {
QString indexed(const char *name, int i) { return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(i); }
QString bits(uint8_t v, char prefix)
{
    QStringList on;
    for (int k = 0; k < 8; ++k)
        if (v & (1u << k))
            on << signalName(QLatin1Char(prefix), k);
    return on.isEmpty() ? QStringLiteral("-") : on.join(' ');
}
} // namespace

BoardWindow::BoardWindow(BoardDevice &device, QWidget *parent) : QWidget(parent), m_device(device)
{
    setWindowTitle(QStringLiteral("kestrune-board"));
    auto *top = new QVBoxLayout(this);

    auto *head = new QHBoxLayout;
    m_address = new QLabel(this);
    m_address->setObjectName(QStringLiteral("address"));
    m_report = new QLabel(this);
    m_report->setObjectName(QStringLiteral("report"));
    m_line = new QLabel(this);
    m_line->setObjectName(QStringLiteral("line"));
    m_line->setTextInteractionFlags(Qt::TextSelectableByMouse);
    head->addWidget(m_address);
    head->addWidget(m_report);
    head->addStretch();
    head->addWidget(m_line);
    top->addLayout(head);

    auto *io = new QGroupBox(QStringLiteral("Inputs and relays"), this);
    auto *grid = new QGridLayout(io);
    for (int k = 0; k < 8; ++k) {
        m_inputs[k] = new QCheckBox(signalName(QLatin1Char('X'), k), io);
        m_inputs[k]->setObjectName(indexed("input", k));
        grid->addWidget(m_inputs[k], 0, k);
        connect(m_inputs[k], &QCheckBox::toggled, this, [this, k](bool on) { m_device.setInput(k, on); });
        m_lamps[k] = new QLabel(signalName(QLatin1Char('Y'), k), io);
        m_lamps[k]->setObjectName(indexed("lamp", k));
        m_lamps[k]->setAlignment(Qt::AlignCenter);
        m_lamps[k]->setMinimumSize(40, 28);
        grid->addWidget(m_lamps[k], 1, k);
    }
    top->addWidget(io);

    m_program = new QLabel(this);
    m_program->setObjectName(QStringLiteral("program"));
    m_program->setFont(QFont(QStringLiteral("monospace")));
    top->addWidget(m_program);

    auto *mis = new QHBoxLayout;
    m_silent = new QCheckBox(QStringLiteral("silent"), this);
    m_corrupt = new QCheckBox(QStringLiteral("corrupt CRC"), this);
    m_noise = new QCheckBox(QStringLiteral("noise"), this);
    m_delay = new QSpinBox(this);
    m_delay->setRange(0, 60000);
    m_delay->setSuffix(QStringLiteral(" ms late"));
    auto *vanish = new QPushButton(QStringLiteral("vanish"), this);
    for (QWidget *w : {static_cast<QWidget *>(m_silent), static_cast<QWidget *>(m_corrupt),
                       static_cast<QWidget *>(m_noise), static_cast<QWidget *>(m_delay), static_cast<QWidget *>(vanish)})
        mis->addWidget(w);
    mis->addStretch();
    top->addLayout(mis);
    auto apply = [this] {
        Misbehaviour m;
        m.silent = m_silent->isChecked();
        m.corrupt = m_corrupt->isChecked();
        m.noise = m_noise->isChecked();
        m.delayMs = m_delay->value();
        m_device.setMisbehaviour(m);
    };
    connect(m_silent, &QCheckBox::toggled, this, apply);
    connect(m_corrupt, &QCheckBox::toggled, this, apply);
    connect(m_noise, &QCheckBox::toggled, this, apply);
    connect(m_delay, qOverload<int>(&QSpinBox::valueChanged), this, apply);
    connect(vanish, &QPushButton::clicked, this, [this] { m_device.vanish(); });

    m_log = new QPlainTextEdit(this);
    m_log->setObjectName(QStringLiteral("log"));
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(1000);
    top->addWidget(m_log, 1);

    connect(&m_device.model(), &BoardModel::changed, this, &BoardWindow::refresh);
    connect(&m_device, &BoardDevice::misbehaviourChanged, this, &BoardWindow::refresh);
    connect(&m_device.model(), &BoardModel::frameSeen, this,
            [this](const QByteArray &f, const QString &what) { log(QStringLiteral("<- %1  %2").arg(hexBytes(f), what)); });
    connect(&m_device, &BoardDevice::sent, this,
            [this](const QByteArray &b) { log(QStringLiteral("-> %1").arg(hexBytes(b))); });
    resize(560, 480);
    refresh();
}

void BoardWindow::refresh()
{
    const BoardModel &m = m_device.model();
    const BoardState &s = m.state();
    m_address->setText(QStringLiteral("Address %1").arg(s.address));
    m_report->setText(s.report ? QStringLiteral("input reporting on") : QStringLiteral("input reporting off"));
    m_line->setText(m_device.vanished() ? QStringLiteral("line closed") : m_device.transport().slavePath());
    const uint8_t relays = m.relays();
    for (int k = 0; k < 8; ++k) {
        const QSignalBlocker block(m_inputs[k]);
        m_inputs[k]->setChecked(s.inputs & (1u << k));
        const bool lit = relays & (1u << k);
        m_lamps[k]->setStyleSheet(lit ? QStringLiteral("background:#f03c28;color:white;border-radius:6px")
                                      : QStringLiteral("background:#502020;color:#b0a0a0;border-radius:6px"));
    }
    QStringList rows{QStringLiteral("Step  AND (all of)        OR (any of)         drives")};
    for (const LogicStep &st : s.steps)
        rows << QStringLiteral("%1     %2 %3 %4")
                    .arg(st.stepNo)
                    .arg(bits(st.andMask, 'X'), -19)
                    .arg(bits(st.orMask, 'X'), -19)
                    .arg(bits(st.outMask, 'Y'));
    m_program->setText(rows.join('\n'));
    const Misbehaviour &mb = m_device.misbehaviour();
    const QSignalBlocker b1(m_silent), b2(m_corrupt), b3(m_noise), b4(m_delay);
    m_silent->setChecked(mb.silent);
    m_corrupt->setChecked(mb.corrupt);
    m_noise->setChecked(mb.noise);
    m_delay->setValue(mb.delayMs);
}

void BoardWindow::log(const QString &line)
{
    m_log->appendPlainText(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz  ")) + line);
}

} // namespace board
