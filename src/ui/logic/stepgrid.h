#pragma once

#include "logic/logicstep.h"

#include <QObject>

#include <array>

class QCheckBox;
class QGroupBox;
class QScrollBar;
class QWidget;

// The step grid: eight steps, each with an AND group and an OR group of the
// eight inputs and a group of the eight relays, on a panel that scrolls.
class StepGrid : public QObject
{
    Q_OBJECT
public:
    explicit StepGrid(QWidget *host);

    // The 24 boxes of step s (1..8) as they stand now.
    LogicStep ReadLogicStep(int s) const;
    // Caption of X0k in both input groups of every step.
    void SetInputCaption(int k, const QString &text);
    // Caption of Y0k in every step.
    void SetOutputCaption(int k, const QString &text);
    void InitStepGrid();

    // Puts a whole program into the grid as if its boxes had been clicked:
    // first every box that goes off, then every box that goes on, each
    // through the same rules as a click, so the greying follows. The steps
    // must keep the grid's rules (an input in one group of a step, an
    // output in one step).
    void SetLogicSteps(const std::array<LogicStep, 8> &steps);
    // The captions as they stand: X0k's (both groups show the same) and Y0k's.
    QString InputCaption(int k) const;
    QString OutputCaption(int k) const;
    // The scrolled panel that holds the steps (its context menu is the grid's).
    QWidget *panel() const { return Picture3; }

public slots:
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
    // The scrolled panel (taller than the window) and the inner panel that
    // holds steps 5 to 8.
    QWidget *Picture3 = nullptr;
    QWidget *Picture2 = nullptr;
    QGroupBox *Frame4[8] = {};  // step frames; Frame4[s - 1] is step s
    QGroupBox *Frame0[24] = {}; // group frames, numbered as the board's tool always did
    // incheck[s - 1][k]: X0k in the AND group; incheck[s - 1][8 + k]: X0k in the OR group.
    QCheckBox *incheck[8][16] = {};
    QCheckBox *outcheck[8][8] = {}; // outcheck[s - 1][k]: Y0k of step s
    QScrollBar *VScroll1 = nullptr;
};
