#include "windows/AccountAboutPages.h"

#include "windows/PageBlocks.h"
#include "windows/WindowSymbols.h"

#include <QDate>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

AccountPage::AccountPage(const WindowServices &services, QWidget *parent)
    : QWidget(parent), m_services(services)
{
    m_layout = new QVBoxLayout(this);
    m_layout->setSpacing(0);
    if (m_services.makeAccountView) {
        m_heading = makeLabel(QStringLiteral("Account"), 32, QFont::Bold);
        m_accountView = m_services.makeAccountView();
        m_layout->addWidget(m_heading);
        m_layout->addSpacing(20);
        m_layout->addWidget(m_accountView, 1);
    }
    m_layout->addStretch(0);
    refresh();
    if (m_services.whenSignedInChanged)
        m_services.whenSignedInChanged(this, [this] { refresh(); });
}

void AccountPage::refresh()
{
    const bool signedIn = m_services.isSignedIn && m_services.isSignedIn();
    m_headingVisible = signedIn;
    const int margin = signedIn ? 32 : 0;
    m_layout->setContentsMargins(margin, margin, margin, margin);
    if (m_heading) {
        m_heading->setVisible(signedIn);
        // The spacing under the heading goes with it.
        if (QLayoutItem *space = m_layout->itemAt(1); space && space->spacerItem())
            space->spacerItem()->changeSize(0, signedIn ? 20 : 0);
        m_layout->invalidate();
    }
}

const QList<AboutPage::Link> &AboutPage::links()
{
    static const QList<Link> list = {
        {QStringLiteral("Website"), QStringLiteral("safari"),
         QStringLiteral("https://corvanta.app")},
        {QStringLiteral("Feedback"), QStringLiteral("envelope"),
         QStringLiteral("mailto:feedback@corvanta.app?subject=Corvanta%20Feedback")},
        {QStringLiteral("Privacy"), QStringLiteral("hand.raised"),
         QStringLiteral("https://corvanta.app/privacy")},
    };
    return list;
}

QString AboutPage::rightsNotice(int year)
{
    return QStringLiteral("© %1 Corvanta. All rights reserved.").arg(QString::number(year));
}

namespace {

class LinkTile : public QAbstractButton {
public:
    LinkTile(const QString &title, const QString &symbol) : m_symbol(symbol)
    {
        setText(title);
        setAccessibleName(title);
        setFixedSize(80, 72);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(WindowStyle::white(isDown() ? 0.08 : 0.04));
        painter.setPen(QPen(WindowStyle::white(0.08), 1));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
        paintSymbol(painter, m_symbol, QRectF(30, 14, 20, 20), Qt::white);
        painter.setPen(WindowStyle::secondaryText());
        painter.setFont(WindowStyle::font(11, QFont::Medium));
        painter.drawText(QRectF(0, 42, width(), 16), Qt::AlignCenter, text());
    }

private:
    QString m_symbol;
};

} // namespace

AboutPage::AboutPage(const WindowServices &services, QWidget *parent)
    : QWidget(parent), m_services(services)
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(0, 120, 0, 24);
    page->setSpacing(32);
    page->setAlignment(Qt::AlignHCenter);
    page->addWidget(makeLabel(QStringLiteral("About Corvanta"), 40, QFont::Bold), 0,
                    Qt::AlignHCenter);

    auto *identity = new QHBoxLayout;
    identity->setSpacing(20);
    identity->addWidget(new AppLogoView(76, 18));
    auto *texts = new QVBoxLayout;
    texts->setSpacing(6);
    texts->addWidget(makeLabel(QStringLiteral("Corvanta"), 20, QFont::Bold));
    texts->addWidget(
        makeLabel(QStringLiteral("Version 1.0.0 (Linux Native)"), 12, QFont::Bold, true));
    QLabel *tagline = makeLabel(QStringLiteral("Built for a cleaner workflow."), 11, QFont::Medium);
    tagline->setStyleSheet(QStringLiteral("color: rgba(255,255,255,89);"));
    texts->addWidget(tagline);
    identity->addLayout(texts);
    QFrame *card = makeCard(identity, 24);
    card->setObjectName(QStringLiteral("identityCard"));
    card->setStyleSheet(QStringLiteral(
        "QFrame#identityCard { background: rgba(255,255,255,13); border-radius: 20px; }"));
    page->addWidget(card, 0, Qt::AlignHCenter);

    auto *tiles = new QHBoxLayout;
    tiles->setSpacing(16);
    tiles->setContentsMargins(0, 8, 0, 0);
    for (const Link &link : links()) {
        auto *tile = new LinkTile(link.title, link.symbol);
        const QString address = link.address;
        connect(tile, &QAbstractButton::clicked, this, [this, address] { openLink(address); });
        tiles->addWidget(tile);
    }
    page->addLayout(tiles);
    page->setAlignment(tiles, Qt::AlignHCenter);
    page->addStretch(1);
    m_rights = makeLabel(rightsNotice(QDate::currentDate().year()), 11);
    m_rights->setStyleSheet(QStringLiteral("color: rgba(255,255,255,77);"));
    page->addWidget(m_rights, 0, Qt::AlignHCenter);
}

void AboutPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_rights->setText(rightsNotice(QDate::currentDate().year()));
}

void AboutPage::openLink(const QString &address)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid())
        return;
    if (m_services.openUrl)
        m_services.openUrl(url);
    else
        QDesktopServices::openUrl(url);
}
