// The step grid: eight steps, each with an AND group and an OR group of the
// eight inputs and a group of the eight relays, on a panel that scrolls.
#include "logic/stepgrid.h"

#include "app/widgets.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QScrollBar>

namespace {

const char *const kStepCaptions[8] = {"第一步", "第二步", "第三步", "第四步",
                                      "第五步", "第六步", "第七步", "第八步"};

// Group frame numbers of each step: AND, OR, output.
const int kGroupFrames[8][3] = {{0, 1, 2},    {3, 4, 5},    {6, 7, 8},    {11, 10, 9},
                                {12, 13, 14}, {20, 19, 18}, {21, 22, 23}, {17, 16, 15}};

// Places the eight boxes of a group: 0..3 down the left column, 4..7 down the right.
void placeBoxes(QGroupBox *group, QCheckBox **boxes, const QString &arrayBase, int firstIndex,
                char letter, bool andGroup)
{
    static const int kTops[4] = {24, 48, 72, 96};
    static const int kAndLeftTops[4] = {24, 48, 80, 104};
    const int leftX = andGroup ? 16 : 8;
    // A screen reader tells the boxes apart by step, group and signal:
    // "第三步 输入和 X03". The name keeps the fixed signal when a caption is renamed.
    const auto *step = qobject_cast<const QGroupBox *>(group->parentWidget());
    const QString namePrefix = (step ? step->title() + QLatin1Char(' ') : QString()) + group->title() + QLatin1Char(' ');
    for (int k = 0; k < 8; ++k) {
        const int row = k % 4;
        const bool right = k >= 4;
        const int x = right ? 176 : leftX;
        const int y = (andGroup && !right) ? kAndLeftTops[row] : kTops[row];
        boxes[k] = ui::place<QCheckBox>(group, ui::arrayName(arrayBase, firstIndex + k), x, y, 145, 24,
                                        signalName(QLatin1Char(letter), k));
        boxes[k]->setAccessibleName(namePrefix + signalName(QLatin1Char(letter), k));
    }
}

} // namespace

StepGrid::StepGrid(QWidget *host) : QObject(host)
{
    setObjectName(QStringLiteral("stepGrid"));
    Picture3 = ui::place<QWidget>(host, QStringLiteral("Picture3"), 120, 8, 1041, 2008);
    ui::setBackground(Picture3, ui::darkGreen());
    Picture3->setFont(ui::simSun(14.25));
    // The panel is taller than the window; the other controls stay on top of it.
    Picture3->lower();

    Picture2 = ui::place<QWidget>(Picture3, ui::arrayName(QStringLiteral("Picture2"), 1), 8, 640, 1033, 2000);
    ui::setBackground(Picture2, ui::darkGreen());

    for (int i = 0; i < 8; ++i) {
        const bool inner = i >= 4;
        QWidget *parent = inner ? Picture2 : Picture3;
        const int x = inner ? 0 : 8;
        const int y = (i % 4) * 160;
        Frame4[i] = ui::place<QGroupBox>(parent, ui::arrayName(QStringLiteral("Frame4"), i), x, y,
                                         inner ? 1025 : 1033, 153, QString::fromUtf8(kStepCaptions[i]));

        const QString n = QString::number(i + 1);
        const QString inBase = QStringLiteral("incheck") + n;
        const QString outBase = QStringLiteral("outcheck") + n;
        const int outWidth = i >= 5 ? 329 : 337;
        QGroupBox *andGroup = ui::place<QGroupBox>(Frame4[i], ui::arrayName(QStringLiteral("Frame0"), kGroupFrames[i][0]),
                                                   8, 24, 329, 129, QStringLiteral("输入和"));
        QGroupBox *orGroup = ui::place<QGroupBox>(Frame4[i], ui::arrayName(QStringLiteral("Frame0"), kGroupFrames[i][1]),
                                                  344, 24, 337, 129, QStringLiteral("输入或者"));
        QGroupBox *outGroup = ui::place<QGroupBox>(Frame4[i], ui::arrayName(QStringLiteral("Frame0"), kGroupFrames[i][2]),
                                                   688, 24, outWidth, 129, QStringLiteral("输出"));
        Frame0[kGroupFrames[i][0]] = andGroup;
        Frame0[kGroupFrames[i][1]] = orGroup;
        Frame0[kGroupFrames[i][2]] = outGroup;

        placeBoxes(andGroup, &incheck[i][0], inBase, 0, 'X', true);
        placeBoxes(orGroup, &incheck[i][8], inBase, 8, 'X', false);
        placeBoxes(outGroup, &outcheck[i][0], outBase, 0, 'Y', false);

        // The rules run on every change, whether made by mouse or keyboard.
        const int s = i + 1;
        for (int k = 0; k < 16; ++k)
            connect(incheck[i][k], &QCheckBox::toggled, this, [this, s, k] { incheck_Click(s, k); });
        for (int k = 0; k < 8; ++k)
            connect(outcheck[i][k], &QCheckBox::toggled, this, [this, s, k] { outcheck_Click(s, k); });
    }

    VScroll1 = ui::place<QScrollBar>(host, QStringLiteral("VScroll1"), 1168, 336, 33, 121);
    VScroll1->setOrientation(Qt::Vertical);
    VScroll1->setRange(0, 620);
    VScroll1->setSingleStep(20);
    VScroll1->setPageStep(20);
    VScroll1->setValue(0);
    connect(VScroll1, &QScrollBar::valueChanged, this, &StepGrid::VScroll1_Change);
    connect(VScroll1, &QScrollBar::sliderMoved, this, &StepGrid::VScroll1_Scroll);
}

void StepGrid::InitStepGrid()
{
    for (int i = 0; i < 8; ++i) {
        for (QCheckBox *b : incheck[i])
            ui::setBackground(b, ui::darkGreen());
        for (QCheckBox *b : outcheck[i])
            ui::setBackground(b, ui::darkGreen());
        ui::setBackground(Frame4[i], ui::darkGreen());
    }
    for (QGroupBox *g : Frame0)
        ui::setBackground(g, ui::darkGreen());
    Picture3->move(Picture3->x(), -VScroll1->value());
}

void StepGrid::VScroll1_Change()
{
    Picture3->move(Picture3->x(), -VScroll1->value());
}

void StepGrid::VScroll1_Scroll()
{
    // While the thumb is dragged the value may lag the slider position.
    Picture3->move(Picture3->x(), -VScroll1->sliderPosition());
}

LogicStep StepGrid::ReadLogicStep(int s) const
{
    LogicStep step;
    if (s < 1 || s > 8)
        return step;
    step.stepNo = uint8_t(s);
    for (int k = 0; k < 8; ++k) {
        if (incheck[s - 1][k]->isChecked())
            step.andMask |= uint8_t(1u << k);
        if (incheck[s - 1][8 + k]->isChecked())
            step.orMask |= uint8_t(1u << k);
        if (outcheck[s - 1][k]->isChecked())
            step.outMask |= uint8_t(1u << k);
    }
    return step;
}

void StepGrid::SetLogicSteps(const std::array<LogicStep, 8> &steps)
{
    // Boxes going off first: unticking an output frees it in the other
    // steps, which would undo the greying of a box ticked earlier.
    for (const bool on : {false, true}) {
        for (int i = 0; i < 8; ++i) {
            const LogicStep &step = steps[i];
            for (int k = 0; k < 8; ++k) {
                const bool want[3] = {bool(step.andMask >> k & 1u), bool(step.orMask >> k & 1u),
                                      bool(step.outMask >> k & 1u)};
                QCheckBox *boxes[3] = {incheck[i][k], incheck[i][8 + k], outcheck[i][k]};
                for (int g = 0; g < 3; ++g) {
                    // setChecked emits toggled, which runs the box's rule.
                    if (want[g] == on && boxes[g]->isChecked() != on)
                        boxes[g]->setChecked(on);
                }
            }
        }
    }
}

QString StepGrid::InputCaption(int k) const
{
    return k >= 0 && k < 8 ? incheck[0][k]->text() : QString();
}

QString StepGrid::OutputCaption(int k) const
{
    return k >= 0 && k < 8 ? outcheck[0][k]->text() : QString();
}

void StepGrid::incheck_Click(int s, int Index)
{
    if (s < 1 || s > 8 || Index < 0 || Index > 15)
        return;
    QCheckBox *box = incheck[s - 1][Index];
    QCheckBox *partner = incheck[s - 1][Index < 8 ? Index + 8 : Index - 8];
    partner->setEnabled(!box->isChecked());
}

void StepGrid::outcheck_Click(int s, int Index)
{
    if (s < 1 || s > 8 || Index < 0 || Index > 7)
        return;
    const bool checked = outcheck[s - 1][Index]->isChecked();
    for (int other = 0; other < 8; ++other) {
        if (other != s - 1)
            outcheck[other][Index]->setEnabled(!checked);
    }
}

void StepGrid::SetInputCaption(int k, const QString &text)
{
    if (k < 0 || k > 7)
        return;
    for (int i = 0; i < 8; ++i) {
        incheck[i][k]->setText(text);
        incheck[i][8 + k]->setText(text);
    }
}

void StepGrid::SetOutputCaption(int k, const QString &text)
{
    if (k < 0 || k > 7)
        return;
    for (int i = 0; i < 8; ++i)
        outcheck[i][k]->setText(text);
}
