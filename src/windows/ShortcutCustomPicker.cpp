#include "windows/ShortcutCustomPicker.h"

#include "windows/ControlInput.h"
#include "windows/PageBlocks.h"
#include "windows/ShortcutRecorderControls.h"
#include "windows/WindowSymbols.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace {

// A modifier's tick box drawn for the dark panel: a checked box is filled with the accent and
// ticked in white, an empty one outlined, so that a chosen modifier reads at a glance and never
// looks disabled.
class ModifierBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        return {box + gap + metrics.horizontalAdvance(text()) + 2,
                std::max(box, metrics.height()) + 4};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool hitButton(const QPoint &position) const override { return rect().contains(position); }

    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF square(0.5, (height() - box) / 2.0 + 0.5, box - 1, box - 1);
        if (isChecked()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(WindowStyle::accentColor(AccentTheme::blue));
            painter.drawRoundedRect(square, 4, 4);
            paintSymbol(painter, QStringLiteral("checkmark"), square.adjusted(3, 3, -3, -3),
                        Qt::white, 2.2);
        } else {
            painter.setPen(QPen(WindowStyle::white(0.45), 1));
            painter.setBrush(WindowStyle::white(0.06));
            painter.drawRoundedRect(square, 4, 4);
        }
        painter.setPen(Qt::white);
        painter.setFont(font());
        painter.drawText(rect().adjusted(box + gap, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         text());
    }

private:
    static constexpr int box = 16;
    static constexpr int gap = 6;
};

} // namespace

ShortcutCustomPicker::ShortcutCustomPicker(std::function<void(const ShortcutData &)> onApply,
                                           std::function<void()> onHidden, QWidget *parent)
    : QFrame(parent, Qt::Popup), m_onApply(std::move(onApply)), m_onHidden(std::move(onHidden))
{
    setObjectName(QStringLiteral("customPicker"));
    setAttribute(Qt::WA_NoMouseReplay);
    // A window of its own: it takes the dark look itself, and grows to fit its labels.
    WindowStyle::applyDarkLook(this, this);
    setMinimumWidth(320);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(14);

    auto *title = new QLabel(QStringLiteral("Configure Custom Key"), this);
    title->setFont(shortcutRecorderFont(13, QFont::Bold));
    title->setStyleSheet(QStringLiteral("color: white"));
    column->addWidget(title);

    auto *modifiers = new QVBoxLayout;
    modifiers->setSpacing(8);
    auto *caption = new QLabel(QStringLiteral("Modifiers:"), this);
    caption->setFont(shortcutRecorderFont(11, QFont::Medium));
    caption->setEnabled(false);
    modifiers->addWidget(caption);
    auto *boxes = new QHBoxLayout;
    boxes->setSpacing(8);
    const auto addBox = [&](const QString &text, bool *selected) {
        auto *box = new ModifierBox(text, this);
        box->setFont(shortcutRecorderFont(12));
        connect(box, &QCheckBox::toggled, this, [selected](bool checked) { *selected = checked; });
        boxes->addWidget(box);
        return box;
    };
    m_cmdBox = addBox(QStringLiteral("Super"), &m_selectedCmd);
    m_optBox = addBox(QStringLiteral("Alt"), &m_selectedOpt);
    m_ctrlBox = addBox(QStringLiteral("Ctrl"), &m_selectedCtrl);
    m_shiftBox = addBox(QStringLiteral("Shift"), &m_selectedShift);
    modifiers->addLayout(boxes);
    column->addLayout(modifiers);

    auto *keyRow = new QHBoxLayout;
    auto *keyCaption = new QLabel(QStringLiteral("Key:"), this);
    keyCaption->setFont(shortcutRecorderFont(12, QFont::Medium));
    keyCaption->setStyleSheet(QStringLiteral("color: white"));
    keyRow->addWidget(keyCaption);
    m_keyBox = new QComboBox(this);
    m_keyBox->addItems(keys());
    m_keyBox->setMinimumWidth(100);
    connect(m_keyBox, &QComboBox::currentTextChanged, this,
            [this](const QString &key) { m_selectedKey = key; });
    keyRow->addWidget(m_keyBox);
    keyRow->addStretch();
    column->addLayout(keyRow);

    auto *applyRow = new QHBoxLayout;
    applyRow->addStretch();
    auto *apply = new QPushButton(QStringLiteral("Apply Key"), this);
    apply->setObjectName(QStringLiteral("applyKeyButton"));
    apply->setDefault(true);
    connect(apply, &QPushButton::clicked, this, [this] {
        if (m_onApply)
            m_onApply(shortcut(m_selectedCmd, m_selectedOpt, m_selectedCtrl, m_selectedShift,
                               m_selectedKey));
    });
    applyRow->addWidget(apply);
    column->addLayout(applyRow);

    ControlInput::install(this);
}

void ShortcutCustomPicker::showBeside(const QWidget &anchorWidget)
{
    m_cmdBox->setChecked(m_selectedCmd);
    m_optBox->setChecked(m_selectedOpt);
    m_ctrlBox->setChecked(m_selectedCtrl);
    m_shiftBox->setChecked(m_selectedShift);
    m_keyBox->setCurrentText(m_selectedKey);

    adjustSize();
    const QRect anchor(anchorWidget.mapToGlobal(QPoint(0, 0)), anchorWidget.size());
    QPoint position(anchor.right() + 8, anchor.center().y() - height() / 2);
    if (const QScreen *screen = anchorWidget.screen()) {
        const QRect available = screen->availableGeometry();
        position.setX(std::clamp(position.x(), available.left(),
                                 std::max(available.left(), available.right() - width())));
        position.setY(std::clamp(position.y(), available.top(),
                                 std::max(available.top(), available.bottom() - height())));
    }
    move(position);
    show();
}

void ShortcutCustomPicker::hideEvent(QHideEvent *event)
{
    QFrame::hideEvent(event);
    // However the panel closes (outside click, Escape), its owner learns of it.
    if (m_onHidden)
        m_onHidden();
}

const QStringList &ShortcutCustomPicker::keys()
{
    static const QStringList keys = [] {
        QStringList list{"1", "2", "3", "4", "5", "6", "7", "8", "9", "0"};
        for (char letter = 'A'; letter <= 'Z'; ++letter)
            list << QString(QLatin1Char(letter));
        list << QStringLiteral("Space");
        for (int number = 1; number <= 12; ++number)
            list << QStringLiteral("F%1").arg(number);
        return list;
    }();
    return keys;
}

quint32 ShortcutCustomPicker::keyCode(const QString &name)
{
    // Each name the picker offers is the fixed name of exactly one key code.
    if (keys().contains(name)) {
        for (quint16 code = 0; code < 128; ++code) {
            if (ShortcutData::keyString(code, std::nullopt) == name)
                return code;
        }
    }
    return 18;
}

ShortcutData ShortcutCustomPicker::shortcut(bool command, bool option, bool control, bool shift,
                                            const QString &keyName)
{
    quint32 modifiers =
        (control ? CarbonModifier::control : 0) | (option ? CarbonModifier::option : 0) |
        (shift ? CarbonModifier::shift : 0) | (command ? CarbonModifier::command : 0);
    if (!modifiers)
        modifiers = CarbonModifier::control | CarbonModifier::option;
    return {keyCode(keyName), modifiers, CarbonModifier::glyphs(modifiers) + keyName};
}
