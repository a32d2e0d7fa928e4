// The About window and the web link.
#include "app/aboutpanel.h"

#include "app/frmhelp.h"
#include "app/messages.h"
#include "app/widgets.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

#include <functional>

namespace {

const QColor kLinkNormal(0, 0, 255);
const QColor kLinkHover(57, 120, 138);
} // namespace

AboutPanel::AboutPanel(QWidget *host, Messages *messages) : QObject(host), m_host(host), m_messages(messages)
{
    setObjectName(QStringLiteral("about"));
    LblWeb = ui::place<QLabel>(host, QStringLiteral("LblWeb"), 1288, 480, 20, 15, QStringLiteral("WEB"));
    ui::setBackground(LblWeb, ui::statusYellow());
    ui::setTextColor(LblWeb, kLinkHover);
    LblWeb->adjustSize();
    LblWeb->resize(qMax(20, LblWeb->width()), qMax(15, LblWeb->height()));

    auto *CmdHelp = ui::place<QPushButton>(host, QStringLiteral("CmdHelp"), 1224, 632, 58, 20, QStringLiteral("关于"));
    connect(CmdHelp, &QPushButton::clicked, this, &AboutPanel::CmdHelp_Click);

    OpenWebPage = [](const QString &url) { QDesktopServices::openUrl(QUrl(url)); };
    LblWeb->setMouseTracking(true);
    new ui::EventHook(LblWeb, [this](QEvent *e) {
        if (e->type() == QEvent::MouseMove) {
            LblWeb_MouseMove();
            return true; // not the window's background
        }
        if (e->type() == QEvent::MouseButtonRelease) {
            auto *me = static_cast<QMouseEvent *>(e);
            if (me->button() == Qt::LeftButton && LblWeb->rect().contains(me->position().toPoint()))
                LblWeb_Click();
            return true;
        }
        return false;
    });
}

QString AboutPanel::webPage()
{
    return QStringLiteral("https://zh.wikipedia.org/wiki/Modbus");
}

void AboutPanel::showAsLink()
{
    QFont f = LblWeb->font();
    f.setUnderline(true);
    LblWeb->setFont(f);
    ui::setTextColor(LblWeb, kLinkNormal);
}

void AboutPanel::hoverEnded()
{
    ui::setTextColor(LblWeb, kLinkNormal);
    m_host->setCursor(Qt::ArrowCursor);
}

void AboutPanel::CmdHelp_Click()
{
    if (m_messages->quitting())
        return;
    if (!m_frmHelp) {
        auto *help = new FrmHelp(m_host);
        // Forgotten as soon as it closes, so the next click makes a new one
        // even before the closed window is deleted.
        connect(help, &FrmHelp::closed, this, [this, help] {
            if (m_frmHelp.data() == help)
                m_frmHelp = nullptr;
        });
        m_frmHelp = help;
    }
    m_frmHelp->show();
    m_frmHelp->raise();
    m_frmHelp->activateWindow();
}

void AboutPanel::LblWeb_Click()
{
    // A failure to open the page is not reported.
    if (OpenWebPage)
        OpenWebPage(webPage());
}

void AboutPanel::LblWeb_MouseMove()
{
    ui::setTextColor(LblWeb, kLinkHover);
    LblWeb->setCursor(Qt::PointingHandCursor);
}
