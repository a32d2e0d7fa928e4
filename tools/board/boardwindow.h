#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QSpinBox;

namespace board {

class BoardDevice;

// The board's front panel: its inputs as switches, its relays as lamps, its
// address, the program it holds and a log of the frames it saw. Switches and
// misbehaviour boxes act on the device; everything else only shows its state.
class BoardWindow : public QWidget
{
    Q_OBJECT
public:
    explicit BoardWindow(BoardDevice &device, QWidget *parent = nullptr);

private:
    void refresh();
    void log(const QString &line);

    BoardDevice &m_device;
    QLabel *m_address;
    QLabel *m_line;
    QLabel *m_report;
    QCheckBox *m_inputs[8];
    QLabel *m_lamps[8];
    QLabel *m_program;
    QPlainTextEdit *m_log;
    QCheckBox *m_silent;
    QCheckBox *m_corrupt;
    QCheckBox *m_noise;
    QSpinBox *m_delay;
};

} // namespace board
