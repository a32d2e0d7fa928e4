#pragma once

#include <QWidget>

class BusFrameModel;
class Messages;
class QLabel;
class QPushButton;
class QTableView;

// The bus monitor window (FrmBusMonitor): every frame sent and received, one
// per row, from a BusFrameModel; pause, clear and save as CSV.
class BusMonitor : public QWidget
{
    Q_OBJECT
public:
    BusMonitor(BusFrameModel *model, Messages *messages, QWidget *parent = nullptr);

    // The last problem the answer checks found, shown under the list.
    void setNote(const QString &text);

signals:
    // The button "总线扫描".
    void scanRequested();

public slots:
    void CmdMonitorPause_Click();
    void CmdMonitorClear_Click();
    void CmdMonitorSave_Click();

private:
    BusFrameModel *m_model;
    Messages *m_messages;
    QTableView *GridFrames = nullptr;
    QPushButton *CmdMonitorPause = nullptr;
    QLabel *LblMonitorNote = nullptr;
    bool m_follow = true;
};
