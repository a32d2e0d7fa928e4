#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class Messages;
class QLabel;
class QWidget;

// The About button with its window, and the web link.
class AboutPanel : public QObject
{
    Q_OBJECT
public:
    AboutPanel(QWidget *host, Messages *messages);

    // Opens the web page of the link; the system's browser unless replaced.
    std::function<void(const QString &url)> OpenWebPage;
    static QString webPage();
    // The About window while it is open.
    QWidget *aboutWindow() const { return m_frmHelp.data(); }
    // The link is shown as a link once start-up has run.
    void showAsLink();
    // The pointer is over the window's bare background: the hover ends.
    void hoverEnded();

public slots:
    void CmdHelp_Click();
    void LblWeb_Click();
    void LblWeb_MouseMove();

private:
    QWidget *m_host;
    Messages *m_messages;
    QLabel *LblWeb = nullptr;
    QPointer<QWidget> m_frmHelp;
};
