#include "windows/PageBlocks.h"

#include "windows/WindowSymbols.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>
#include <cmath>

namespace WindowStyle {

QColor accentColor(AccentTheme theme)
{
    switch (theme) {
    case AccentTheme::blue:
        return QColor(10, 132, 255);
    case AccentTheme::purple:
        return QColor(191, 90, 242);
    case AccentTheme::orange:
        return QColor(255, 159, 10);
    case AccentTheme::green:
        return QColor(48, 209, 88);
    case AccentTheme::monochrome:
        return QColor(152, 152, 157);
    }
    return QColor(10, 132, 255);
}

QColor secondaryText()
{
    return QColor(235, 235, 245, 153);
}

QColor white(double opacity)
{
    QColor color(Qt::white);
    color.setAlphaF(float(opacity));
    return color;
}

QFont font(int pixelSize, QFont::Weight weight, bool monospaced)
{
    QFont font = monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(30, 30, 32));
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, QColor(44, 44, 46));
    palette.setColor(QPalette::AlternateBase, QColor(52, 52, 54));
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Button, QColor(58, 58, 60));
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(44, 44, 46));
    palette.setColor(QPalette::ToolTipText, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(10, 132, 255));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, secondaryText());
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 124));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 124));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 124));
    return palette;
}

void applyDarkLook(QWidget *window, QWidget *content)
{
    window->setPalette(darkPalette());
    window->setAutoFillBackground(true);
    content->setStyleSheet(QStringLiteral(
        "QFrame[corvantaCard=\"true\"] { background: rgba(255,255,255,10); border-radius: 12px; }"
        "QScrollBar:vertical { background: transparent; width: 10px; margin: 2px; }"
        "QScrollBar::handle:vertical { background: rgba(255,255,255,46); border-radius: 3px;"
        " min-height: 24px; }"
        "QScrollBar:horizontal { background: transparent; height: 10px; margin: 2px; }"
        "QScrollBar::handle:horizontal { background: rgba(255,255,255,46); border-radius: 3px;"
        " min-width: 24px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { height: 0; width: 0; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }"
        "QScrollArea { background: transparent; border: none; }"
        "QScrollArea > QWidget > QWidget { background: transparent; }"
        "QComboBox { background: rgba(255,255,255,20); color: white; border: none;"
        " border-radius: 6px; padding: 4px 10px; }"
        "QComboBox QAbstractItemView { background: #2c2c2e; color: white;"
        " selection-background-color: #0a84ff; }"
        "QPushButton { background: rgba(255,255,255,20); color: white; border: none;"
        " border-radius: 6px; padding: 5px 12px; }"
        "QPushButton:hover { background: rgba(255,255,255,31); }"
        "QCheckBox { color: white; }"
        "QTabWidget::pane { border: none; }"
        "QTabBar::tab { background: transparent; color: rgba(235,235,245,153); padding: 6px 8px; }"
        "QTabBar::tab:selected { color: white; background: rgba(255,255,255,20);"
        " border-radius: 6px; }"
        "QToolTip { color: white; background: #2c2c2e; border: 1px solid #3a3a3c; }"));
}

} // namespace WindowStyle

PickerFace::PickerFace(QWidget *parent) : QPushButton(parent)
{
    setFont(WindowStyle::font(12, QFont::Medium));
    setCursor(Qt::PointingHandCursor);
}

QSize PickerFace::sizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(textWidth() + 6 + 10 + 20, metrics.height() + 12);
}

int PickerFace::textWidth() const
{
    // Rounded up: the advance rounds to whole pixels, and eliding measures the exact width.
    return int(std::ceil(QFontMetricsF(font()).horizontalAdvance(text()))) + 1;
}

QString PickerFace::shownText() const
{
    const int room = width() - 36;
    return room >= textWidth() ? text()
                               : QFontMetrics(font()).elidedText(text(), Qt::ElideMiddle, room);
}

void PickerFace::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(WindowStyle::white(isDown() ? 0.14 : 0.08));
    painter.drawRoundedRect(QRectF(rect()), 6, 6);
    painter.setPen(Qt::white);
    painter.setFont(font());
    painter.drawText(rect().adjusted(10, 0, -26, 0), Qt::AlignVCenter | Qt::AlignLeft, shownText());
    paintSymbol(painter, QStringLiteral("chevron.up.chevron.down"),
                QRectF(width() - 22, (height() - 11) / 2.0, 11, 11), Qt::white);
}

SwitchButton::SwitchButton(QWidget *parent)
    : QAbstractButton(parent), m_accent(WindowStyle::accentColor(AccentTheme::blue))
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

QSize SwitchButton::sizeHint() const
{
    return QSize(38, 22);
}

void SwitchButton::setAccent(const QColor &accent)
{
    if (accent == m_accent)
        return;
    m_accent = accent;
    update();
}

void SwitchButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track =
        QRectF(0, 0, 38, 22).translated((width() - 38) / 2.0, (height() - 22) / 2.0);
    QColor fill = isChecked() ? m_accent : WindowStyle::white(0.18);
    if (!isEnabled())
        fill.setAlphaF(fill.alphaF() * 0.5f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, 11, 11);
    const double knobX = isChecked() ? track.right() - 20 : track.left() + 2;
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(knobX, track.top() + 2, 18, 18));
}

QLabel *makeLabel(const QString &text, int pixelSize, QFont::Weight weight, bool secondary,
                  QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(WindowStyle::font(pixelSize, weight));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, secondary ? WindowStyle::secondaryText() : Qt::white);
    label->setPalette(palette);
    return label;
}

QWidget *makeTextColumn(const QString &title, const std::optional<QString> &subtitle)
{
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    // Both lines wrap rather than push the row's switch out of a narrow window.
    QLabel *heading = makeLabel(title, 13, QFont::Medium);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    if (subtitle) {
        QLabel *line = makeLabel(*subtitle, 11, QFont::Normal, true);
        line->setWordWrap(true);
        layout->addWidget(line);
    }
    return column;
}

QWidget *makePageHeader(const QString &title, const QString &line)
{
    auto *header = new QWidget;
    auto *layout = new QVBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(makeLabel(title, 32, QFont::Bold));
    QLabel *description = makeLabel(line, 14, QFont::Normal, true);
    description->setWordWrap(true);
    layout->addWidget(description);
    return header;
}

QLabel *makeSectionTitle(const QString &text)
{
    return makeLabel(text, 16, QFont::DemiBold);
}

QFrame *makeCard(QLayout *content, int padding)
{
    auto *card = new QFrame;
    card->setProperty("corvantaCard", true);
    content->setContentsMargins(padding, padding, padding, padding);
    card->setLayout(content);
    return card;
}

QFrame *makeDivider(double opacity)
{
    auto *divider = new QFrame;
    divider->setProperty("corvantaDivider", true);
    divider->setFixedHeight(1);
    divider->setStyleSheet(
        QStringLiteral("QFrame { background: rgba(255,255,255,%1); border: none; }")
            .arg(qRound(opacity * 255)));
    return divider;
}

QLabel *makeBadge(const QString &text, bool monospaced)
{
    auto *badge = new QLabel(text);
    badge->setFont(WindowStyle::font(12, QFont::Medium, monospaced));
    badge->setStyleSheet(QStringLiteral("QLabel { color: rgba(235,235,245,153);"
                                        " background: rgba(255,255,255,20); border-radius: 6px;"
                                        " padding: 3px 8px; }"));
    return badge;
}

QScrollArea *makeScrollPage(QWidget *page)
{
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Narrower than the page's least width, the window scrolls across instead of cutting it off.
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setWidget(page);
    return scroll;
}

QWidget *makeControlRow(const QString &symbol, const QString &title,
                        const std::optional<QString> &subtitle, QWidget *control, int symbolSize)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(new SymbolView(symbol, symbolSize + 5, WindowStyle::secondaryText()));
    layout->addWidget(makeTextColumn(title, subtitle), 1);
    if (control->accessibleName().isEmpty())
        control->setAccessibleName(title);
    layout->addWidget(control);
    return row;
}

ToggleRow makeToggleRow(const QString &symbol, const QString &title,
                        const std::optional<QString> &subtitle, int symbolSize)
{
    ToggleRow row;
    row.toggle = new SwitchButton;
    row.widget = makeControlRow(symbol, title, subtitle, row.toggle, symbolSize);
    return row;
}

namespace UnavailableReason {

QString haptics()
{
    return QStringLiteral("Linux desktops have no haptic feedback.");
}

QString captureSettings()
{
    return QStringLiteral("This desktop has no setting that allows screen capture.");
}

} // namespace UnavailableReason

void showUnavailable(QWidget *control, const QString &reason)
{
    if (auto *button = qobject_cast<QAbstractButton *>(control); button && button->isCheckable())
        button->setChecked(false);
    control->setEnabled(false);
    control->setToolTip(reason);
    control->setAccessibleDescription(reason);
}

void bindSwitch(SwitchButton *toggle, SettingsStore &store, bool (SettingsStore::*get)() const,
                void (SettingsStore::*set)(bool), void (SettingsStore::*changed)(bool))
{
    followSetting(store, changed, toggle,
                  [toggle, &store, get] { toggle->setChecked((store.*get)()); });
    followAccent(store, toggle, [toggle](const QColor &accent) { toggle->setAccent(accent); });
    QObject::connect(toggle, &QAbstractButton::toggled, &store,
                     [&store, set](bool on) { (store.*set)(on); });
}

void followAccent(SettingsStore &store, QObject *context, std::function<void(const QColor &)> tint)
{
    tint(WindowStyle::accentColor(store.accentTheme()));
    QObject::connect(&store, &SettingsStore::accentThemeChanged, context,
                     [tint](AccentTheme theme) { tint(WindowStyle::accentColor(theme)); });
}
