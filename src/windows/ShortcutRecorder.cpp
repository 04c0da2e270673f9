#include "windows/ShortcutRecorder.h"

#include "platform/KeyCodes.h"
#include "windows/ControlInput.h"
#include "windows/PageBlocks.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace {

constexpr quint32 escapeKeyCode = 53;
const QColor accentBlue(10, 132, 255);
const QColor recordingRed(255, 69, 58);

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

QFont systemFont(double pointSize, QFont::Weight weight = QFont::Normal)
{
    QFont font = QApplication::font();
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    return font;
}

QFont monospacedBold(double pointSize)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(pointSize);
    font.setBold(true);
    return font;
}

// Keys that only modify others: their presses are not key-downs of their own.
bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

bool isEscape(const QKeyEvent &event)
{
    return event.key() == Qt::Key_Escape ||
           platform::virtualKeyForKeysym(event.nativeVirtualKey(), false) == escapeKeyCode;
}

void fillRoundedRect(QPainter &painter, const QRectF &rect, double radius, const QColor &fill)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(rect, radius, radius);
}

// The recorder's own button: the combination (or the recording prompt) with an icon, on a
// tinted rounded rectangle. Its text() is what it shows.
class RecorderLabelButton final : public QAbstractButton {
public:
    using QAbstractButton::QAbstractButton;

    void setRecording(bool recording)
    {
        m_recording = recording;
        setText(recording ? QStringLiteral("Press keys...") : shortcutDisplayText(m_displayString));
        setToolTip(recording
                       ? QStringLiteral("Click to cancel")
                       : QStringLiteral("Click then press any shortcut keys on your keyboard"));
        updateGeometry();
        update();
    }
    void setDisplayString(const QString &displayString)
    {
        m_displayString = displayString;
        setRecording(m_recording);
    }

    QSize sizeHint() const override
    {
        const QFontMetrics text(textFont());
        const QFontMetrics icon(systemFont(11));
        int width =
            horizontalMargin * 2 + text.horizontalAdvance(this->text()) + spacing + icon.height();
        if (m_recording)
            width += dotSize + spacing;
        return {width, verticalMargin * 2 + std::max(text.height(), icon.height())};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame = QRectF(rect()).adjusted(1, 1, -1, -1);
        fillRoundedRect(painter, frame, 8, withAlpha(accentBlue, m_recording ? 0.25 : 0.12));
        painter.setBrush(Qt::NoBrush);
        painter.setPen(
            QPen(withAlpha(accentBlue, m_recording ? 1.0 : 0.3), m_recording ? 1.5 : 1.0));
        painter.drawRoundedRect(frame, 8, 8);

        const QFontMetrics text(textFont());
        const int iconSize = QFontMetrics(systemFont(11)).height();
        int x = (width() - sizeHint().width()) / 2 + horizontalMargin;
        const int middle = height() / 2;
        if (m_recording) {
            fillRoundedRect(painter, QRectF(x, middle - dotSize / 2.0, dotSize, dotSize),
                            dotSize / 2.0, recordingRed);
            x += dotSize + spacing;
        }
        painter.setFont(textFont());
        painter.setPen(accentBlue);
        const int textWidth = text.horizontalAdvance(this->text());
        painter.drawText(QRect(x, 0, textWidth, height()), Qt::AlignVCenter, this->text());
        x += textWidth + spacing;

        const QRectF icon(x, middle - iconSize / 2.0, iconSize, iconSize);
        if (m_recording) {
            // A cross on a filled circle.
            fillRoundedRect(painter, icon.adjusted(1, 1, -1, -1), iconSize / 2.0, recordingRed);
            painter.setPen(QPen(Qt::white, 1.5));
            const QRectF cross =
                icon.adjusted(iconSize * 0.33, iconSize * 0.33, -iconSize * 0.33, -iconSize * 0.33);
            painter.drawLine(cross.topLeft(), cross.bottomRight());
            painter.drawLine(cross.topRight(), cross.bottomLeft());
        } else {
            painter.setFont(systemFont(11));
            painter.setPen(withAlpha(accentBlue, 0.8));
            painter.drawText(icon, Qt::AlignCenter, QStringLiteral("\u270e"));
        }
    }

private:
    static constexpr int horizontalMargin = 10;
    static constexpr int verticalMargin = 6;
    static constexpr int spacing = 6;
    static constexpr int dotSize = 7;

    QFont textFont() const { return monospacedBold(m_recording ? 12 : 13); }

    bool m_recording = false;
    QString m_displayString;
};

// A small symbol on a faint rounded rectangle.
class SymbolButton final : public QAbstractButton {
public:
    SymbolButton(const QString &symbol, double pointSize, double backgroundAlpha, QWidget *parent)
        : QAbstractButton(parent), m_font(systemFont(pointSize)), m_backgroundAlpha(backgroundAlpha)
    {
        setText(symbol);
    }

    void setHighlighted(bool highlighted)
    {
        m_highlighted = highlighted;
        update();
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(m_font);
        const int side = std::max(metrics.height(), metrics.horizontalAdvance(text()));
        return {side + margin * 2, side + margin * 2};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        fillRoundedRect(painter, rect(), 6, withAlpha(Qt::white, m_backgroundAlpha));
        painter.setFont(m_font);
        const QColor secondary = withAlpha(palette().color(QPalette::WindowText), 0.55);
        painter.setPen(m_highlighted ? accentBlue : secondary);
        painter.drawText(rect(), Qt::AlignCenter, text());
    }

private:
    static constexpr int margin = 6;
    QFont m_font;
    double m_backgroundAlpha;
    bool m_highlighted = false;
};

} // namespace

// The local key-down monitor: an application-wide event filter that sees every key press
// meant for this program's windows while recording.
class ShortcutRecorderButton::KeyDownMonitor final : public QObject {
public:
    explicit KeyDownMonitor(std::function<bool(QKeyEvent *)> handler)
        : m_handler(std::move(handler))
    {
        qApp->installEventFilter(this);
    }

    // Stops watching at once; the object itself goes later, since removal may happen while
    // it is handling an event.
    static void remove(KeyDownMonitor *monitor)
    {
        if (!monitor)
            return;
        if (qApp)
            qApp->removeEventFilter(monitor);
        monitor->m_handler = nullptr;
        monitor->deleteLater();
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (!m_handler)
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            // Claimed, so that no shortcut of the window fires while recording.
            if (!isModifierKey(static_cast<QKeyEvent *>(event)->key())) {
                event->accept();
                return true;
            }
            return false;
        }
        if (event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if (isModifierKey(key->key()))
            return false;
        return m_handler(key);
    }

private:
    std::function<bool(QKeyEvent *)> m_handler;
};

void RecordingIDBinding::setRecordingID(const QString &recordingID)
{
    if (m_recordingID == recordingID)
        return;
    m_recordingID = recordingID;
    emit recordingIDChanged();
}

ShortcutRecorderButton::ShortcutRecorderButton(QString id, QString displayString,
                                               RecordingIDBinding *recordingID, SaveAction onSave,
                                               ResetAction onReset, QWidget *parent)
    : QWidget(parent), m_id(std::move(id)), m_displayString(std::move(displayString)),
      m_recordingID(recordingID), m_onSave(std::move(onSave)), m_onReset(std::move(onReset)),
      m_monitor(nullptr, &KeyDownMonitor::remove)
{
    auto *recorder = new RecorderLabelButton(this);
    recorder->setObjectName(QStringLiteral("recorderButton"));
    recorder->setDisplayString(m_displayString);
    m_recorderButton = recorder;

    auto *customize = new SymbolButton(QStringLiteral("\u2630"), 12, 0.06, this);
    customize->setObjectName(QStringLiteral("customizeButton"));
    customize->setToolTip(QStringLiteral("Customize modifiers and key manually"));
    m_customizeButton = customize;

    auto *reset = new SymbolButton(QStringLiteral("\u21ba"), 11, 0.04, this);
    reset->setObjectName(QStringLiteral("resetButton"));
    reset->setToolTip(QStringLiteral("Reset to default"));
    m_resetButton = reset;

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    for (QWidget *button : {m_recorderButton, m_customizeButton, m_resetButton})
        row->addWidget(button, 0, Qt::AlignVCenter);

    connect(m_recorderButton, &QAbstractButton::clicked, this, [this] {
        if (isRecording())
            stopRecording();
        else
            startRecording();
    });
    connect(m_customizeButton, &QAbstractButton::clicked, this,
            [this] { setShowingCustomPicker(!m_showingCustomPicker); });
    connect(m_resetButton, &QAbstractButton::clicked, this, [this] {
        if (m_onReset)
            m_onReset();
    });
    if (m_recordingID) {
        connect(m_recordingID, &RecordingIDBinding::recordingIDChanged, this,
                &ShortcutRecorderButton::recordingIDChanged);
    }
    updateLook();
}

ShortcutRecorderButton::~ShortcutRecorderButton()
{
    stopRecording();
    // An open panel closes with the button; its hiding must not call back into it.
    m_showingCustomPicker = false;
    delete std::exchange(m_customPicker, nullptr);
}

void ShortcutRecorderButton::setDisplayString(const QString &displayString)
{
    m_displayString = displayString;
    static_cast<RecorderLabelButton *>(m_recorderButton)->setDisplayString(displayString);
}

bool ShortcutRecorderButton::isRecording() const
{
    return m_recordingID && m_recordingID->recordingID() == m_id;
}

const QStringList &ShortcutRecorderButton::customPickerKeys()
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

quint32 ShortcutRecorderButton::keyCode(const QString &name)
{
    // Each name the picker offers is the fixed name of exactly one key code.
    if (customPickerKeys().contains(name)) {
        for (quint16 code = 0; code < 128; ++code) {
            if (ShortcutData::keyString(code, std::nullopt) == name)
                return code;
        }
    }
    return 18;
}

ShortcutData ShortcutRecorderButton::customShortcut(bool command, bool option, bool control,
                                                    bool shift, const QString &keyName)
{
    quint32 modifiers =
        (control ? CarbonModifier::control : 0) | (option ? CarbonModifier::option : 0) |
        (shift ? CarbonModifier::shift : 0) | (command ? CarbonModifier::command : 0);
    if (!modifiers)
        modifiers = CarbonModifier::control | CarbonModifier::option;
    return {keyCode(keyName), modifiers, CarbonModifier::glyphs(modifiers) + keyName};
}

void ShortcutRecorderButton::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    stopRecording();
}

void ShortcutRecorderButton::startRecording()
{
    if (m_recordingID)
        m_recordingID->setRecordingID(m_id);
    removeMonitor();
    m_monitor.reset(
        new KeyDownMonitor([this](QKeyEvent *event) { return handleRecordedKey(event); }));
    updateLook();
}

void ShortcutRecorderButton::stopRecording()
{
    if (isRecording())
        m_recordingID->setRecordingID(QString());
    removeMonitor();
    updateLook();
}

void ShortcutRecorderButton::removeMonitor()
{
    m_monitor.reset();
}

bool ShortcutRecorderButton::handleRecordedKey(QKeyEvent *event)
{
    // A recorder whose recording another one took over has no say in the key.
    if (!isRecording()) {
        removeMonitor();
        return false;
    }
    if (isEscape(*event)) {
        stopRecording();
        return true;
    }
    const auto shortcut = ShortcutData::from(*event);
    if (!shortcut)
        return true;
    const QPointer<ShortcutRecorderButton> self(this);
    if (m_onSave)
        m_onSave(*shortcut);
    // The host may have removed this control while saving.
    if (self)
        stopRecording();
    return true;
}

void ShortcutRecorderButton::applyCustomShortcut()
{
    const ShortcutData shortcut = customShortcut(m_selectedCmd, m_selectedOpt, m_selectedCtrl,
                                                 m_selectedShift, m_selectedKey);
    if (m_onSave)
        m_onSave(shortcut);
}

void ShortcutRecorderButton::recordingIDChanged()
{
    // Another recorder took over: this one's monitor must not catch the keys meant for it.
    if (!isRecording())
        removeMonitor();
    updateLook();
}

void ShortcutRecorderButton::updateLook()
{
    static_cast<RecorderLabelButton *>(m_recorderButton)->setRecording(isRecording());
    static_cast<SymbolButton *>(m_customizeButton)->setHighlighted(m_showingCustomPicker);
}

void ShortcutRecorderButton::setShowingCustomPicker(bool showing)
{
    if (m_showingCustomPicker == showing)
        return;
    m_showingCustomPicker = showing;
    updateLook();
    if (!showing) {
        if (m_customPicker && m_customPicker->isVisible())
            m_customPicker->hide();
        return;
    }
    if (!m_customPicker)
        buildCustomPicker();
    m_cmdBox->setChecked(m_selectedCmd);
    m_optBox->setChecked(m_selectedOpt);
    m_ctrlBox->setChecked(m_selectedCtrl);
    m_shiftBox->setChecked(m_selectedShift);
    m_keyBox->setCurrentText(m_selectedKey);

    // Beside the button, on its trailing side, kept on the screen.
    m_customPicker->adjustSize();
    const QRect anchor(m_customizeButton->mapToGlobal(QPoint(0, 0)), m_customizeButton->size());
    QPoint position(anchor.right() + 8, anchor.center().y() - m_customPicker->height() / 2);
    if (const QScreen *screen = m_customizeButton->screen()) {
        const QRect available = screen->availableGeometry();
        position.setX(
            std::clamp(position.x(), available.left(),
                       std::max(available.left(), available.right() - m_customPicker->width())));
        position.setY(
            std::clamp(position.y(), available.top(),
                       std::max(available.top(), available.bottom() - m_customPicker->height())));
    }
    m_customPicker->move(position);
    m_customPicker->show();
}

void ShortcutRecorderButton::buildCustomPicker()
{
    m_customPicker = new QFrame(this, Qt::Popup);
    m_customPicker->setObjectName(QStringLiteral("customPicker"));
    m_customPicker->setAttribute(Qt::WA_NoMouseReplay);
    // A window of its own: it takes the dark look itself, and grows to fit its labels.
    WindowStyle::applyDarkLook(m_customPicker);
    m_customPicker->setMinimumWidth(320);
    auto *column = new QVBoxLayout(m_customPicker);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(14);

    auto *title = new QLabel(QStringLiteral("Configure Custom Key"), m_customPicker);
    title->setFont(systemFont(13, QFont::Bold));
    title->setStyleSheet(QStringLiteral("color: white"));
    column->addWidget(title);

    auto *modifiers = new QVBoxLayout;
    modifiers->setSpacing(8);
    auto *caption = new QLabel(QStringLiteral("Modifiers:"), m_customPicker);
    caption->setFont(systemFont(11, QFont::Medium));
    caption->setEnabled(false);
    modifiers->addWidget(caption);
    auto *boxes = new QHBoxLayout;
    boxes->setSpacing(8);
    const auto addBox = [&](const QString &text, bool *selected) {
        auto *box = new QCheckBox(text, m_customPicker);
        box->setFont(systemFont(12));
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
    auto *keyCaption = new QLabel(QStringLiteral("Key:"), m_customPicker);
    keyCaption->setFont(systemFont(12, QFont::Medium));
    keyCaption->setStyleSheet(QStringLiteral("color: white"));
    keyRow->addWidget(keyCaption);
    m_keyBox = new QComboBox(m_customPicker);
    m_keyBox->addItems(customPickerKeys());
    m_keyBox->setMinimumWidth(100);
    connect(m_keyBox, &QComboBox::currentTextChanged, this,
            [this](const QString &key) { m_selectedKey = key; });
    keyRow->addWidget(m_keyBox);
    keyRow->addStretch();
    column->addLayout(keyRow);

    auto *applyRow = new QHBoxLayout;
    applyRow->addStretch();
    auto *apply = new QPushButton(QStringLiteral("Apply Key"), m_customPicker);
    apply->setObjectName(QStringLiteral("applyKeyButton"));
    apply->setDefault(true);
    connect(apply, &QPushButton::clicked, this, [this] {
        applyCustomShortcut();
        setShowingCustomPicker(false);
    });
    applyRow->addWidget(apply);
    column->addLayout(applyRow);

    // However the panel closes (outside click, Escape), the flag follows.
    class HideWatcher final : public QObject {
    public:
        HideWatcher(ShortcutRecorderButton *owner) : QObject(owner), m_owner(owner) {}

    protected:
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Hide)
                m_owner->setShowingCustomPicker(false);
            return false;
        }

    private:
        ShortcutRecorderButton *m_owner;
    };
    m_customPicker->installEventFilter(new HideWatcher(this));
    ControlInput::install(m_customPicker);
}
