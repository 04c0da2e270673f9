#include "preview/AnnotationEditorView.h"

#include "platform/Background.h"
#include "preview/AnnotationCanvas.h"
#include "preview/AnnotationEditorState.h"
#include "preview/AnnotationRenderer.h"
#include "preview/PreviewControls.h"
#include "preview/PreviewNotice.h"

#include <QFrame>
#include <QFuture>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QColor accent(10, 132, 255);
const QColor secondary(142, 142, 147);

QColor withAlpha(QColor color, double opacity)
{
    color.setAlphaF(float(opacity));
    return color;
}

QFrame *divider(Qt::Orientation orientation, int length)
{
    auto *line = new QFrame;
    if (orientation == Qt::Vertical)
        line->setFixedSize(1, length);
    else
        line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("background: rgba(255, 255, 255, 102);"));
    return line;
}

// The width dot: the selected colour, twice the width across, within 4 and 24 points.
class WidthDot final : public QWidget {
public:
    explicit WidthDot(AnnotationEditorState &state) : m_state(state) { setFixedSize(24, 24); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const double d = std::clamp(2 * m_state.selectedStrokeWidth(), 4.0, 24.0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colorFromHex(m_state.selectedColorHex()).value_or(QColor(Qt::red)));
        painter.drawEllipse(QRectF(12 - d / 2, 12 - d / 2, d, d));
    }

private:
    AnnotationEditorState &m_state;
};

// The toolbar's row: the drawing groups (tools, palette, width) at the left, history and the
// actions at the right. Where the row is too narrow for both at their full size (the editor's
// smallest width is), the right-hand groups move to a second row under it rather than be
// squeezed.
class ToolbarRows final : public QWidget {
public:
    static constexpr int rowHeight = 52;
    static constexpr int secondRowHeight = 40;
    static constexpr int padding = 16;
    static constexpr int spacing = 14;

    ToolbarRows(QWidget *drawing, QWidget *actions) : m_drawing(drawing), m_actions(actions)
    {
        drawing->setParent(this);
        actions->setParent(this);
        setFixedHeight(rowHeight);
    }

    int singleRowWidth() const
    {
        return 2 * padding + m_drawing->sizeHint().width() + spacing +
               m_actions->sizeHint().width();
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        const QSize left = m_drawing->sizeHint();
        const QSize right = m_actions->sizeHint();
        const bool oneRow = width() >= singleRowWidth();
        const int height = oneRow ? rowHeight : rowHeight + secondRowHeight;
        m_drawing->setGeometry(padding, (rowHeight - left.height()) / 2, left.width(),
                               left.height());
        const int secondCentre = rowHeight + secondRowHeight / 2 - 6;
        m_actions->setGeometry(width() - padding - right.width(),
                               (oneRow ? rowHeight / 2 : secondCentre) - right.height() / 2,
                               right.width(), right.height());
        if (this->height() != height)
            setFixedHeight(height);
    }

private:
    QWidget *m_drawing;
    QWidget *m_actions;
};

// A group of controls side by side, each at its own full size.
QHBoxLayout *groupRow(QWidget *group, int spacing)
{
    auto *row = new QHBoxLayout(group);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    row->setSizeConstraint(QLayout::SetFixedSize);
    return row;
}

PlateButton::Look historyLook(const char *symbol, bool destructive)
{
    PlateButton::Look look;
    look.symbol = QString::fromLatin1(symbol);
    look.symbolColor = destructive ? withAlpha(Qt::red, 0.85) : QColor(Qt::white);
    look.plate = destructive ? withAlpha(Qt::red, 0.10) : withAlpha(secondary, 0.12);
    look.symbolSize = 12;
    look.fixedSize = QSize(28, 28);
    return look;
}

PlateButton *historyButton(const char *symbol, const QString &help, bool destructive)
{
    auto *button = new PlateButton(historyLook(symbol, destructive));
    button->setToolTip(help);
    return button;
}

} // namespace

AnnotationEditorView::AnnotationEditorView(const CaptureItem &item, SaveCallback onSave,
                                           std::function<void()> onDismiss, QWidget *parent,
                                           const QImage &decoded)
    : QWidget(parent), m_item(item), m_onSave(std::move(onSave)), m_onDismiss(std::move(onDismiss))
{
    setMinimumSize(minimumEditorSize);
    setFocusPolicy(Qt::StrongFocus);
    m_state = new AnnotationEditorState(QSizeF(item.pixelWidth(), item.pixelHeight()), this);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeToolbar());
    column->addWidget(divider(Qt::Horizontal, 0));
    const QSizeF pixelSize(item.pixelWidth(), item.pixelHeight());
    const bool whole = !decoded.isNull() && QSizeF(decoded.size()) == pixelSize;
    m_canvas = new AnnotationCanvas(whole ? decoded : QImage(), pixelSize, *m_state, this);
    if (!whole)
        m_canvas->loadImage(item.thumbnail(), [item] { return item.image(); });
    column->addWidget(m_canvas, 1);
    m_sheet = makeTextSheet();
    m_notice = new PreviewNotice(this);
    connect(m_notice, &PreviewNotice::dismissed, m_notice, [this] { m_notice->setText({}); });

    connect(m_state, &AnnotationEditorState::changed, this, &AnnotationEditorView::refresh);
    refresh();
}

AnnotationEditorView::~AnnotationEditorView() = default;

QWidget *AnnotationEditorView::makeToolbar()
{
    auto *drawing = new QWidget;
    QHBoxLayout *row = groupRow(drawing, ToolbarRows::spacing);

    auto *tools = new QHBoxLayout;
    tools->setSpacing(4);
    for (AnnotationTool tool : allCases<AnnotationTool>()) {
        PlateButton::Look look;
        look.symbol = systemIcon(tool);
        look.symbolSize = 13;
        look.fixedSize = QSize(32, 32);
        auto *button = new PlateButton(look);
        button->setToolTip(rawValue(tool));
        connect(button, &QAbstractButton::clicked, this,
                [this, tool] { m_state->setSelectedTool(tool); });
        m_toolButtons.append({tool, button});
        tools->addWidget(button);
    }
    row->addLayout(tools);
    row->addWidget(divider(Qt::Vertical, 20));

    auto *swatches = new QHBoxLayout;
    swatches->setSpacing(6);
    for (const QString &hex : AnnotationEditorState::colorPalette) {
        auto *swatch = new SwatchButton(hex);
        swatch->setFixedSize(swatch->sizeHint());
        connect(swatch, &QAbstractButton::clicked, this,
                [this, hex] { m_state->setSelectedColorHex(hex); });
        m_swatches.append(swatch);
        swatches->addWidget(swatch);
    }
    row->addLayout(swatches);
    row->addWidget(divider(Qt::Vertical, 20));

    auto *stroke = new QHBoxLayout;
    stroke->setSpacing(10);
    m_widthDot = new WidthDot(*m_state);
    stroke->addWidget(m_widthDot);
    m_widthSlider = new QSlider(Qt::Horizontal);
    // Half-point steps from 1 to 16.
    m_widthSlider->setRange(2, 32);
    m_widthSlider->setFixedWidth(140);
    m_widthSlider->setToolTip(QStringLiteral("Stroke thickness"));
    connect(m_widthSlider, &QSlider::valueChanged, this,
            [this](int value) { m_state->setSelectedStrokeWidth(value / 2.0); });
    stroke->addWidget(m_widthSlider);
    m_widthLabel = new QLabel;
    m_widthLabel->setFixedWidth(44);
    m_widthLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_widthLabel->setFont(previewFont(11, QFont::Medium));
    m_widthLabel->setStyleSheet(QStringLiteral("color: rgba(235, 235, 245, 153);"));
    stroke->addWidget(m_widthLabel);
    row->addLayout(stroke);

    auto *actionGroups = new QWidget;
    row = groupRow(actionGroups, ToolbarRows::spacing);

    auto *history = new QHBoxLayout;
    history->setSpacing(6);
    m_undoButton = historyButton("arrow.uturn.backward", QStringLiteral("Undo (Ctrl+Z)"), false);
    m_redoButton =
        historyButton("arrow.uturn.forward", QStringLiteral("Redo (Ctrl+Shift+Z)"), false);
    m_clearButton = historyButton("trash", QStringLiteral("Clear All Annotations"), true);
    connect(m_undoButton, &QAbstractButton::clicked, this, &AnnotationEditorView::undo);
    connect(m_redoButton, &QAbstractButton::clicked, this, &AnnotationEditorView::redo);
    connect(m_clearButton, &QAbstractButton::clicked, this, &AnnotationEditorView::clearAll);
    history->addWidget(m_undoButton);
    history->addWidget(m_redoButton);
    history->addWidget(m_clearButton);
    row->addLayout(history);
    row->addWidget(divider(Qt::Vertical, 20));

    auto *actions = new QHBoxLayout;
    actions->setSpacing(8);
    PlateButton::Look cancelLook;
    cancelLook.title = QStringLiteral("Cancel");
    cancelLook.plate = QColor(255, 255, 255, 31);
    cancelLook.radius = 5;
    cancelLook.paddingX = 10;
    cancelLook.paddingY = 5;
    PlateButton::Look doneLook = cancelLook;
    doneLook.title = QStringLiteral("Done & Save");
    doneLook.plate = accent;
    auto *cancel = new PlateButton(cancelLook);
    auto *done = new PlateButton(doneLook);
    connect(cancel, &QAbstractButton::clicked, this, &AnnotationEditorView::cancel);
    connect(done, &QAbstractButton::clicked, this, &AnnotationEditorView::saveAndDismiss);
    actions->addWidget(cancel);
    actions->addWidget(done);
    row->addLayout(actions);

    auto *bar = new ToolbarRows(drawing, actionGroups);
    bar->setAutoFillBackground(true);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, QColor(38, 38, 42));
    bar->setPalette(palette);
    return bar;
}

QWidget *AnnotationEditorView::makeTextSheet()
{
    // A sheet over the editor rather than a window of its own: it never blocks the rest of the
    // program, and its keys stay with its field.
    auto *sheet = new QFrame(this);
    sheet->setObjectName(QStringLiteral("textSheet"));
    sheet->setStyleSheet(QStringLiteral("#textSheet { background: rgb(44, 44, 48); border-radius: "
                                        "10px; border: 1px solid rgba(255, 255, 255, 31); }"));
    sheet->setFixedWidth(300);
    auto *column = new QVBoxLayout(sheet);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(16);
    auto *title = new QLabel(QStringLiteral("Add Text Callout"));
    title->setFont(previewFont(13, QFont::DemiBold));
    title->setStyleSheet(QStringLiteral("color: white;"));
    column->addWidget(title);
    m_textField = new QLineEdit;
    m_textField->setPlaceholderText(QStringLiteral("Type annotation text..."));
    m_textField->setFixedWidth(260);
    connect(m_textField, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_state->setTextInputPrompt(text); });
    column->addWidget(m_textField);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"));
    auto *add = new QPushButton(QStringLiteral("Add"));
    cancel->setAutoDefault(false);
    add->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, [this] { m_state->setShowTextInputSheet(false); });
    connect(add, &QPushButton::clicked, this, &AnnotationEditorView::commitTextAnnotation);
    connect(m_textField, &QLineEdit::returnPressed, this,
            &AnnotationEditorView::commitTextAnnotation);
    buttons->addWidget(cancel);
    buttons->addWidget(add);
    column->addLayout(buttons);
    sheet->hide();
    return sheet;
}

void AnnotationEditorView::refresh()
{
    for (const auto &[tool, button] : std::as_const(m_toolButtons)) {
        PlateButton::Look look = button->look();
        const bool selected = tool == m_state->selectedTool();
        look.plate = selected ? accent : withAlpha(secondary, 0.12);
        look.symbolColor = Qt::white;
        button->setLook(look);
    }
    for (SwatchButton *swatch : std::as_const(m_swatches))
        swatch->setSelected(swatch->hex() == m_state->selectedColorHex());
    const double strokeWidth = m_state->selectedStrokeWidth();
    {
        const QSignalBlocker block(m_widthSlider);
        m_widthSlider->setValue(int(std::lround(strokeWidth * 2)));
    }
    m_widthLabel->setText(QString::asprintf("%.1f pt", strokeWidth));
    m_widthDot->update();
    m_undoButton->setEnabled(!m_state->annotations().isEmpty());
    m_redoButton->setEnabled(!m_state->undoneAnnotations().isEmpty());
    m_clearButton->setEnabled(!m_state->annotations().isEmpty());

    const bool sheetShown = m_state->showTextInputSheet();
    if (sheetShown && !m_sheet->isVisible()) {
        m_textField->setText(m_state->textInputPrompt());
        m_sheet->adjustSize();
        m_sheet->move((width() - m_sheet->width()) / 2, 80);
        m_sheet->show();
        m_sheet->raise();
        m_textField->setFocus();
    } else if (!sheetShown && m_sheet->isVisible()) {
        m_sheet->hide();
        setFocus();
    }
}

void AnnotationEditorView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_sheet->isVisible())
        m_sheet->move((width() - m_sheet->width()) / 2, 80);
}

bool AnnotationEditorView::hasUnsavedMarks() const
{
    return m_saving || !m_state->annotations().isEmpty();
}

bool AnnotationEditorView::isTextSheetShown() const
{
    return m_sheet->isVisible();
}

void AnnotationEditorView::undo()
{
    m_state->undo();
}

void AnnotationEditorView::redo()
{
    m_state->redo();
}

void AnnotationEditorView::clearAll()
{
    m_state->clearAll();
}

void AnnotationEditorView::commitTextAnnotation()
{
    m_state->commitTextAnnotation();
}

void AnnotationEditorView::cancel()
{
    if (m_onDismiss)
        m_onDismiss();
}

void AnnotationEditorView::saveAndDismiss()
{
    if (m_saving)
        return;
    m_saving = true;
    const QList<AnnotationItem> annotations = m_state->annotations();
    const CaptureItem item = m_item;
    // Rendering a 4K capture takes longer than a frame: the interface keeps running meanwhile.
    const auto rendering = platform::runInBackground(
        [item, annotations] { return AnnotationRenderer::render(item.image(), annotations); });
    platform::deliverTo(this, rendering, [this](const QImage &image) {
        if (image.isNull()) {
            // Nothing to hand over: the marks stay, and the user learns why nothing was saved.
            m_saving = false;
            m_notice->setText(QStringLiteral(
                "The markup could not be saved: the capture's image cannot be read."));
            m_notice->place(100);
            return;
        }
        // Copied first: the owner may delete the editor from either callback.
        const SaveCallback onSave = m_onSave;
        const std::function<void()> onDismiss = m_onDismiss;
        if (onSave)
            onSave(image);
        if (onDismiss)
            onDismiss();
    });
}

bool AnnotationEditorView::event(QEvent *event)
{
    // Escape is the editor's own (Cancel): claimed before application-wide key handling.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void AnnotationEditorView::keyPressEvent(QKeyEvent *event)
{
    if (m_sheet->isVisible()) {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            m_state->setShowTextInputSheet(false);
            return;
        }
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cancel();
        return;
    }
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && event->modifiers().testFlag(Qt::ControlModifier)) {
        saveAndDismiss();
        return;
    }
    QWidget::keyPressEvent(event);
}
