#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

// The About window: a fixed text and an OK button. It deletes itself when
// closed; `closed` is emitted first, so the owner can forget it at once.
class FrmHelp : public QWidget
{
    Q_OBJECT
public:
    explicit FrmHelp(QWidget *parent = nullptr);

    static QString aboutText();

public slots:
    void CmdAssurance_Click();

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QPlainTextEdit *Txt = nullptr;
    QPushButton *CmdAssurance = nullptr;
};
