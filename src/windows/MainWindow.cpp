#include "windows/MainWindow.h"

#include "model/SettingsStore.h"
#include "windows/AccountAboutPages.h"
#include "windows/ControlInput.h"
#include "windows/DashboardPage.h"
#include "windows/HotkeysPage.h"
#include "windows/PageBlocks.h"
#include "windows/PinSettingsPage.h"
#include "windows/ShortcutRecorder.h"
#include "windows/TrayPages.h"
#include "windows/WindowSymbols.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QMoveEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <utility>

namespace Sidebar {

QList<SidebarTab> tabs()
{
    return {SidebarTab::dashboard, SidebarTab::hotkeys, SidebarTab::staging, SidebarTab::appearance,
            SidebarTab::account,   SidebarTab::pins,    SidebarTab::about};
}

QString title(SidebarTab tab)
{
    static const char *const titles[] = {"Dashboard", "Hotkeys", "Staging", "Appearance",
                                         "Account",   "Pins",    "About"};
    return QString::fromLatin1(titles[int(tab)]);
}

QString icon(SidebarTab tab)
{
    static const char *const icons[] = {
        "sparkles",           "command",  "tray.2",     "paintpalette",
        "person.crop.circle", "pin.fill", "info.circle"};
    return QString::fromLatin1(icons[int(tab)]);
}

std::optional<SidebarTab> tabFromTitle(const QString &text)
{
    for (const SidebarTab tab : tabs()) {
        if (title(tab) == text)
            return tab;
    }
    return std::nullopt;
}

SidebarTab initialTab(bool signedIn)
{
    return signedIn ? SidebarTab::dashboard : SidebarTab::account;
}

QString notchStatus(bool hasNotch)
{
    return hasNotch ? QStringLiteral("Display Cutout Detected")
                    : QStringLiteral("Floating Tray Mode");
}

} // namespace Sidebar

SidebarRow::SidebarRow(SidebarTab tab, QWidget *parent) : AccentButton(parent), m_tab(tab)
{
    setText(Sidebar::title(tab));
    setAccessibleName(text());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QColor SidebarRow::symbolColor() const
{
    return isSelected() ? accent() : WindowStyle::secondaryText();
}

QSize SidebarRow::sizeHint() const
{
    return QSize(200, 34);
}

void SidebarRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isSelected()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(WindowStyle::white(0.08));
        painter.drawRoundedRect(QRectF(rect()), 8, 8);
    }
    paintSymbol(painter, Sidebar::icon(m_tab), QRectF(12 + 2, (height() - 15) / 2.0, 15, 15),
                symbolColor(), isSelected() ? 1.8 : 1.4);
    painter.setPen(isSelected() ? QColor(Qt::white) : WindowStyle::secondaryText());
    painter.setFont(WindowStyle::font(13, isSelected() ? QFont::DemiBold : QFont::Medium));
    painter.drawText(rect().adjusted(12 + 20 + 10, 0, -12, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     text());
}

namespace {

// The footer reads the tray's notch state each time it is painted.
class NotchFooter : public QWidget {
public:
    explicit NotchFooter(std::function<bool()> hasNotch) : m_hasNotch(std::move(hasNotch))
    {
        setFixedHeight(36);
    }
    QString status() const { return Sidebar::notchStatus(m_hasNotch && m_hasNotch()); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(WindowStyle::white(0.03));
        painter.drawRoundedRect(QRectF(rect()), 8, 8);
        painter.setBrush(QColor(48, 209, 88));
        painter.drawEllipse(QRectF(12, (height() - 7) / 2.0, 7, 7));
        painter.setPen(WindowStyle::secondaryText());
        painter.setFont(WindowStyle::font(11, QFont::Medium));
        painter.drawText(rect().adjusted(12 + 7 + 8, 0, -12, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         status());
    }

private:
    std::function<bool()> m_hasNotch;
};

QWidget *makeSidebarHeader()
{
    auto *header = new QWidget;
    auto *layout = new QHBoxLayout(header);
    layout->setContentsMargins(14, 14, 14, 0);
    layout->setSpacing(12);
    layout->addWidget(new AppLogoView(32, 8));
    auto *texts = new QVBoxLayout;
    texts->setSpacing(1);
    texts->addWidget(makeLabel(QStringLiteral("Corvanta"), 15, QFont::Bold));
    texts->addWidget(makeLabel(QStringLiteral("Staging & Capture"), 11, QFont::Medium, true));
    layout->addLayout(texts, 1);
    return header;
}

} // namespace

QSize fittedFirstSize(QSize wished, QSize least, QRect workArea, QMargins frame)
{
    return wished.boundedTo(workArea.size().shrunkBy(frame)).expandedTo(least);
}

MainWindow::MainWindow(const WindowServices &services, QWidget *parent)
    : QMainWindow(parent), m_services(services),
      m_selectedTab(Sidebar::initialTab(services.isSignedIn && services.isSignedIn())),
      m_recordingID(new RecordingIDBinding(this))
{
    setWindowTitle(QString::fromLatin1(title));
    setObjectName(QStringLiteral("corvantaMainWindow"));
    resize(defaultWidth, defaultHeight);
    setMinimumSize(780, 520);
    SettingsStore &store = *m_services.settings;

    auto *central = new QWidget;
    WindowStyle::applyDarkLook(this, central);
    auto *split = new QHBoxLayout(central);
    split->setContentsMargins(0, 0, 0, 0);
    split->setSpacing(0);

    auto *sidebar = new QWidget;
    sidebar->setMinimumWidth(210);
    sidebar->setMaximumWidth(280);
    sidebar->setFixedWidth(230);
    sidebar->setAutoFillBackground(true);
    QPalette sidebarPalette = sidebar->palette();
    sidebarPalette.setColor(QPalette::Window, QColor(22, 22, 24));
    sidebar->setPalette(sidebarPalette);
    auto *sidebarLayout = new QVBoxLayout(sidebar);
    sidebarLayout->setContentsMargins(0, 0, 0, 12);
    sidebarLayout->setSpacing(14);
    sidebarLayout->addWidget(makeSidebarHeader());
    auto *dividerBox = new QHBoxLayout;
    dividerBox->setContentsMargins(12, 0, 12, 0);
    dividerBox->addWidget(makeDivider(0.15));
    sidebarLayout->addLayout(dividerBox);
    auto *rows = new QVBoxLayout;
    rows->setContentsMargins(8, 0, 8, 0);
    rows->setSpacing(3);
    for (const SidebarTab tab : Sidebar::tabs()) {
        auto *row = new SidebarRow(tab);
        followAccent(store, row, [row](const QColor &accent) { row->setAccent(accent); });
        connect(row, &QAbstractButton::clicked, this, [this, tab] { selectTab(tab); });
        rows->addWidget(row);
        m_rows << row;
    }
    sidebarLayout->addLayout(rows);
    sidebarLayout->addStretch(1);
    auto *footerBox = new QHBoxLayout;
    footerBox->setContentsMargins(12, 0, 12, 0);
    auto *footer = new NotchFooter(m_services.hasNotch);
    footer->setObjectName(QStringLiteral("notchFooter"));
    footer->setAccessibleName(footer->status());
    footerBox->addWidget(footer);
    sidebarLayout->addLayout(footerBox);
    split->addWidget(sidebar);

    m_pages = new QStackedWidget;
    m_pages->setMinimumSize(540, 480);
    m_accountPage = new AccountPage(m_services);
    m_pageWidgets = QList<QWidget *>{
        makeScrollPage(new DashboardPage(m_services)),
        makeScrollPage(new HotkeysPage(m_services, m_recordingID)),
        makeScrollPage(new StagingPage(store)),
        makeScrollPage(new AppearancePage(store)),
        m_accountPage,
        new PinSettingsPage(m_services),
        new AboutPage(m_services),
    };
    for (QWidget *page : m_pageWidgets)
        m_pages->addWidget(page);
    split->addWidget(m_pages, 1);
    setCentralWidget(central);
    showTab(m_selectedTab);
    if (m_services.whenSessionRestored) {
        m_services.whenSessionRestored(this, [this] {
            if (!m_tabChosen)
                showTab(Sidebar::initialTab(m_services.isSignedIn && m_services.isSignedIn()));
        });
    }
    ControlInput::install(this);
}

MainWindow::~MainWindow() = default;

void MainWindow::selectTab(SidebarTab tab)
{
    m_tabChosen = true;
    showTab(tab);
}

void MainWindow::showTab(SidebarTab tab)
{
    const bool changed = tab != m_selectedTab || m_pages->currentIndex() != int(tab);
    m_selectedTab = tab;
    for (SidebarRow *row : m_rows)
        row->setSelected(row->tab() == tab);
    if (!changed)
        return;
    if (tab == SidebarTab::account)
        m_accountPage->refresh();
    m_pages->setCurrentIndex(int(tab));
    if (isVisible())
        fadeIn(m_pages->currentWidget());
}

void MainWindow::fadeIn(QWidget *page)
{
    // The page eases in over 0.16 s; the effect goes when it is done, so that a shown page
    // paints directly.
    auto *effect = new QGraphicsOpacityEffect(page);
    effect->setOpacity(0);
    page->setGraphicsEffect(effect);
    auto *fade = new QPropertyAnimation(effect, "opacity", effect);
    fade->setDuration(160);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->setEasingCurve(QEasingCurve::InOutQuad);
    connect(fade, &QPropertyAnimation::finished, page, [page, effect] {
        if (page->graphicsEffect() == effect)
            page->setGraphicsEffect(nullptr);
    });
    fade->start();
}

QWidget *MainWindow::page(SidebarTab tab) const
{
    return m_pageWidgets.value(int(tab));
}

SidebarRow *MainWindow::row(SidebarTab tab) const
{
    return m_rows.value(int(tab));
}

void MainWindow::hideEvent(QHideEvent *event)
{
    QMainWindow::hideEvent(event);
    m_framePending = false;
    if (!event->spontaneous())
        m_lastPosition = pos();
}

void MainWindow::fitToWorkArea(bool moveIn)
{
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QWindow *native = windowHandle();
    resize(
        fittedFirstSize(size(), minimumSize(), area, native ? native->frameMargins() : QMargins()));
    const QRect frame = frameGeometry();
    if (moveIn && !area.contains(frame)) {
        move(std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width())),
             std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height())));
    }
}

void MainWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    // The window manager frames the window after it was first shown: the frame has to fit too.
    if (m_framePending && windowHandle() && !windowHandle()->frameMargins().isNull()) {
        m_framePending = false;
        fitToWorkArea(true);
    }
}

void MainWindow::showEvent(QShowEvent *event)
{
    // A screen smaller than the default size (a laptop's, or one scaled up) would leave part of
    // the window off it. Where it opens is the window manager's choice.
    if (!event->spontaneous() && !std::exchange(m_sized, true)) {
        fitToWorkArea(false);
        m_framePending = true;
    }
    // The window manager places a window it maps again as if it were new; once mapped, it is
    // moved back to where it was (on the native window, which moves even where Qt thinks the
    // window already is).
    if (!event->spontaneous() && m_lastPosition) {
        move(*m_lastPosition);
        QTimer::singleShot(0, this, [this, position = *m_lastPosition] {
            if (QWindow *native = windowHandle(); native && isVisible())
                native->setFramePosition(position);
        });
    }
    QMainWindow::showEvent(event);
}

void MainWindow::present()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}
