#include "preview/QuickLookPreviewView.h"

#include "capture/ShareService.h"
#include "model/CaptureQueue.h"
#include "model/StartTask.h"
#include "platform/Log.h"
#include "platform/Pasteboard.h"
#include "platform/UrlOpener.h"
#include "preview/AnnotationEditorView.h"
#include "preview/PreviewControls.h"
#include "preview/PreviewMediaView.h"
#include "preview/PreviewNotice.h"
#include "preview/PreviewPlayback.h"
#include "preview/PreviewTimeline.h"
#include "preview/QuickLookPreviewController.h"
#include "tray/TrayNeighbours.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace {

const QColor green(48, 209, 88);
const QColor yellow(255, 214, 10);
const QColor blue(10, 132, 255);
const QColor red(255, 69, 58);

QFrame *divider()
{
    auto *line = new QFrame;
    line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("background: rgba(255, 255, 255, 38);"));
    return line;
}

QLabel *label(double size, QFont::Weight weight, const QString &color)
{
    auto *text = new QLabel;
    text->setFont(previewFont(size, weight));
    text->setStyleSheet(QStringLiteral("color: %1;").arg(color));
    return text;
}

} // namespace

bool QuickLookPreviewView::isStaged(const CaptureItem &item) const
{
    const CaptureQueue *queue = m_services.applicationQueue;
    if (!queue)
        return true;
    const QList<CaptureItem> items = queue->items();
    return std::any_of(items.begin(), items.end(),
                       [&item](const CaptureItem &c) { return c.id() == item.id(); });
}

QuickLookPreviewView::QuickLookPreviewView(QuickLookPreviewController &controller,
                                           PreviewServices services, QWidget *parent)
    : QWidget(parent), m_controller(controller), m_services(std::move(services))
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_playback = new PreviewPlayback(m_services.makePlayer, this);
    // Each of these changes one button or the timeline in place: a status the player reports
    // again and again costs nothing.
    connect(m_playback, &PreviewPlayback::isPlayingChanged, this, [this] { showPlaying(); });
    connect(m_playback, &PreviewPlayback::failed, this, [this](const QString &text) {
        // The poster stays.
        m_media->setPlayer(nullptr);
        m_timeline->showFailure(text);
    });
    connect(m_playback, &PreviewPlayback::playerChanged, this, [this] {
        m_media->setPlayer(m_playback->player());
        m_timeline->setPlayer(m_playback->player());
    });
    m_stack = new QStackedLayout(this);
    m_previewPage = makePreviewPage();
    m_stack->addWidget(m_previewPage);

    connect(&controller, &QuickLookPreviewController::currentItemChanged, this,
            &QuickLookPreviewView::refresh);
    connect(&controller, &QuickLookPreviewController::isMarkupModeChanged, this,
            &QuickLookPreviewView::updateMode);

    controller.setOnTogglePlayback([self = QPointer(this)] {
        if (self)
            self->togglePlayback();
    });
    controller.setOnCopyKey([self = QPointer(this)](const CaptureItem &item) {
        if (self)
            self->copyItem(item);
    });
    controller.setOnSaveKey([self = QPointer(this)](const CaptureItem &item) {
        if (self)
            self->saveItem(item);
    });
    controller.setUnsavedEditCheck([self = QPointer(this)] {
        return self && self->m_editor && self->m_editor->hasUnsavedMarks();
    });
    m_notice = new PreviewNotice(this);
    connect(m_notice, &PreviewNotice::dismissed, &controller,
            &QuickLookPreviewController::dismissNotice);
    connect(&controller, &QuickLookPreviewController::noticeChanged, this,
            [this] { m_notice->setText(m_controller.notice()); });
    m_notice->setText(controller.notice());
    m_shownID = controller.currentItemID();
    setupPlayer(controller.currentItem());
    refresh();
    updateMode();
}

QuickLookPreviewView::~QuickLookPreviewView()
{
    teardownPlayer();
}

QWidget *QuickLookPreviewView::makePreviewPage()
{
    auto *page = new QWidget;
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(84, 16, 20, 12);
    header->setSpacing(12);
    auto *titleBlock = new QVBoxLayout;
    titleBlock->setSpacing(2);
    m_title = label(13, QFont::Bold, QStringLiteral("white"));
    titleBlock->addWidget(m_title);
    auto *detailRow = new QHBoxLayout;
    detailRow->setSpacing(6);
    m_details = label(11, QFont::Medium, QStringLiteral("rgba(235, 235, 245, 153)"));
    QLabel *dot = label(11, QFont::Medium, QStringLiteral("rgba(235, 235, 245, 77)"));
    dot->setText(QStringLiteral("•"));
    m_mode = label(11, QFont::Medium, QStringLiteral("white"));
    detailRow->addWidget(m_details);
    detailRow->addWidget(dot);
    detailRow->addWidget(m_mode);
    detailRow->addStretch(1);
    titleBlock->addLayout(detailRow);
    header->addLayout(titleBlock, 1);

    auto *paging = new QHBoxLayout;
    paging->setSpacing(4);
    for (const auto &[symbol, help, forward] :
         {std::tuple{"chevron.left", "Previous capture (Left Arrow)", false},
          std::tuple{"chevron.right", "Next capture (Right Arrow)", true}}) {
        PlateButton::Look look;
        look.symbol = QString::fromLatin1(symbol);
        look.symbolColor = QColor(255, 255, 255, 204);
        look.fixedSize = QSize(26, 26);
        auto *button = new PlateButton(look);
        button->setToolTip(QString::fromLatin1(help));
        connect(button, &QAbstractButton::clicked, this, [this, forward = forward] {
            if (forward)
                m_controller.nextItem();
            else
                m_controller.previousItem();
        });
        paging->addWidget(button);
    }
    header->addLayout(paging);
    PlateButton::Look closeLook;
    closeLook.title = QStringLiteral("Close");
    closeLook.titleSize = 12;
    closeLook.titleWeight = QFont::DemiBold;
    closeLook.plate = blue;
    closeLook.radius = 7;
    closeLook.paddingX = 14;
    closeLook.paddingY = 6;
    auto *close = new PlateButton(closeLook);
    close->setToolTip(QStringLiteral("Close preview (Esc)"));
    connect(close, &QAbstractButton::clicked, this, [this] { m_controller.close(); });
    header->addWidget(close);
    column->addLayout(header);
    column->addWidget(divider());

    auto *mediaBox = new QVBoxLayout;
    mediaBox->setContentsMargins(16, 16, 16, 16);
    m_media = new PreviewMediaView;
    mediaBox->addWidget(m_media);
    column->addLayout(mediaBox, 1);
    m_timeline = new PreviewTimeline;
    m_timeline->hide();
    column->addWidget(m_timeline);
    column->addWidget(divider());

    m_toolbar = new QWidget;
    auto *row = new QHBoxLayout(m_toolbar);
    row->setContentsMargins(20, 12, 20, 12);
    row->setSpacing(8);
    column->addWidget(m_toolbar);
    return page;
}

PlateButton *QuickLookPreviewView::addToolbarButton(const QString &symbol, const QString &title,
                                                    const QColor &tint,
                                                    std::function<void()> action)
{
    PlateButton::Look look;
    look.symbol = symbol;
    look.symbolColor = tint;
    look.title = title;
    look.titleColor = QColor(255, 255, 255, 230);
    auto *button = new PlateButton(look, m_toolbar);
    connect(button, &QAbstractButton::clicked, this, std::move(action));
    m_toolbarButtons.append(button);
    return button;
}

void QuickLookPreviewView::rebuildToolbar()
{
    // The old buttons may be the ones whose click got here.
    for (PlateButton *button : std::as_const(m_toolbarButtons)) {
        button->hide();
        button->deleteLater();
    }
    m_toolbarButtons.clear();
    m_playButton = nullptr;
    auto *row = static_cast<QHBoxLayout *>(m_toolbar->layout());
    while (QLayoutItem *item = row->takeAt(0))
        delete item;

    const std::optional<CaptureItem> &current = m_controller.currentItem();
    if (!current)
        return;
    const CaptureItem item = *current;
    if (item.isVideo()) {
        m_playButton = addToolbarButton({}, {}, Qt::white, [this] { togglePlayback(); });
        showPlaying();
        addToolbarButton(m_isCopied ? QStringLiteral("checkmark")
                                    : QStringLiteral("doc.on.clipboard"),
                         m_isCopied ? QStringLiteral("Copied!") : QStringLiteral("Copy Video"),
                         m_isCopied ? green : QColor(Qt::white), [this, item] { copyItem(item); });
        addToolbarButton(QStringLiteral("arrow.down.to.line.compact"),
                         QStringLiteral("Save Video..."), Qt::white,
                         [this, item] { saveItem(item); });
        addToolbarButton(QStringLiteral("folder"), QStringLiteral("Show in Folder"), Qt::white,
                         [this, item] {
                             if (m_services.urlOpener)
                                 m_services.urlOpener->revealFile(*item.videoURL());
                         });
        addToolbarButton(QStringLiteral("arrow.up.right.square"),
                         QStringLiteral("Open in Video Player"), Qt::white, [this, item] {
                             if (m_services.urlOpener)
                                 m_services.urlOpener->openUrl(*item.videoURL());
                         });
        addToolbarButton(QStringLiteral("square.and.arrow.up"), QStringLiteral("Share..."),
                         Qt::white, [this, item] {
                             if (!m_services.share || !m_controller.window())
                                 return;
                             const QString path = item.videoURL()->toLocalFile();
                             m_services.share->shareFile(
                                 path, QMimeDatabase().mimeTypeForFile(path).name(), this);
                         });
    } else {
        addToolbarButton(m_isCopied ? QStringLiteral("checkmark")
                                    : QStringLiteral("doc.on.clipboard"),
                         m_isCopied ? QStringLiteral("Copied!") : QStringLiteral("Copy"),
                         m_isCopied ? green : QColor(Qt::white), [this, item] { copyItem(item); });
        const QString ocrSymbol = m_ocrJustCopied     ? QStringLiteral("checkmark")
                                  : m_isOCRProcessing ? QStringLiteral("hourglass")
                                                      : QStringLiteral("text.viewfinder");
        const QString ocrTitle = m_ocrJustCopied     ? QStringLiteral("Copied! ")
                                 : m_isOCRProcessing ? QStringLiteral("Reading...")
                                                     : QStringLiteral("Copy Text (OCR)");
        addToolbarButton(ocrSymbol, ocrTitle, m_ocrJustCopied ? green : QColor(Qt::white),
                         [this, item] { startTask(recognizeAndCopyText(item)); });
        addToolbarButton(
            QStringLiteral("pin.fill"), QStringLiteral("Pin to Screen"), Qt::white, [this, item] {
                // A pin of a capture that has left the tray would belong to nothing.
                if (!m_services.pinning || !isStaged(item))
                    return;
                withPictureDo(item, QStringLiteral("pinned"),
                              [this](const CaptureItem &pinned) { startTask(pinItem(pinned)); });
            });
        addToolbarButton(QStringLiteral("pencil.tip.crop.circle"), QStringLiteral("Markup..."),
                         Qt::white, [this] { m_controller.setMarkupMode(true); });
        addToolbarButton(QStringLiteral("arrow.down.to.line.compact"),
                         QStringLiteral("Save to Disk"), Qt::white,
                         [this, item] { saveItem(item); });
        addToolbarButton(QStringLiteral("square.and.arrow.up"), QStringLiteral("Share..."),
                         Qt::white, [this, item] {
                             if (m_services.share)
                                 startTask(shareItem(item));
                         });
    }
    for (PlateButton *button : std::as_const(m_toolbarButtons)) {
        row->addWidget(button);
        button->show();
    }
    row->addStretch(1);

    PlateButton::Look deleteLook;
    deleteLook.symbol = QStringLiteral("trash");
    deleteLook.symbolSize = 11;
    deleteLook.title = QStringLiteral("Delete");
    deleteLook.symbolColor = deleteLook.titleColor = QColor(255, 69, 58, 217);
    deleteLook.plate = QColor(255, 69, 58, 31);
    auto *remove = new PlateButton(deleteLook, m_toolbar);
    remove->setToolTip(QStringLiteral("Delete screenshot (⌫)"));
    connect(remove, &QAbstractButton::clicked, this,
            [this, item] { m_controller.performDelete(item); });
    m_toolbarButtons.append(remove);
    row->addWidget(remove);
    remove->show();
    // Placed now, not at the next layout pass: a click may follow at once.
    row->activate();
}

void QuickLookPreviewView::refresh()
{
    const std::optional<CaptureItem> &current = m_controller.currentItem();
    const std::optional<QUuid> id = m_controller.currentItemID();
    if (id != m_shownID) {
        m_shownID = id;
        setupPlayer(current);
    }
    if (!current) {
        m_stack->setCurrentWidget(m_previewPage);
        m_previewPage->hide();
        return;
    }
    m_previewPage->show();
    m_title->setText(current->fileName());
    if (current->isVideo())
        m_details->setText(QStringLiteral("Screen Recording"));
    else
        m_details->setText(
            QStringLiteral("%1 × %2 pt").arg(current->pixelWidth()).arg(current->pixelHeight()));
    m_mode->setText(displayName(current->mode()));
    m_mode->setStyleSheet(
        QStringLiteral("color: %1;").arg((current->isVideo() ? red : blue).name()));
    const CaptureItem shown = *current;
    // Through the shared decode: an action asking for the picture meanwhile waits for the same.
    m_media->setImage(shown.thumbnail(), [shown] { return shown.loadImage().result(); });
    m_media->setPlayer(m_playback->player());
    m_timeline->setVisible(current->isVideo());
    if (m_playback->errorString().isEmpty())
        m_timeline->setPlayer(m_playback->player());
    rebuildToolbar();
}

void QuickLookPreviewView::showPlaying()
{
    if (!m_playButton)
        return;
    PlateButton::Look look = m_playButton->look();
    const bool playing = m_playback->isPlaying();
    look.symbol = playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill");
    look.title = playing ? QStringLiteral("Pause") : QStringLiteral("Play");
    look.symbolColor = playing ? yellow : QColor(Qt::white);
    m_playButton->setLook(look);
}

void QuickLookPreviewView::updateMode()
{
    const std::optional<CaptureItem> &current = m_controller.currentItem();
    if (m_controller.isMarkupMode() && current) {
        if (m_editor)
            return;
        const CaptureItem item = *current;
        QPointer<QuickLookPreviewView> self(this);
        m_editor = new AnnotationEditorView(
            item,
            [self, item](const QImage &image) {
                if (self)
                    self->applyMarkup(image, item);
            },
            [self] {
                if (self)
                    self->m_controller.setMarkupMode(false);
            },
            nullptr, m_media->fullImage());
        m_stack->addWidget(m_editor);
        m_stack->setCurrentWidget(m_editor);
        m_editor->setFocus();
        return;
    }
    m_stack->setCurrentWidget(m_previewPage);
    if (m_editor) {
        // The editor may be inside its own callback.
        m_editor->hide();
        m_editor->deleteLater();
        m_editor = nullptr;
    }
}

void QuickLookPreviewView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Below the header, or the editor's toolbar even on two rows, over what the user was looking
    // at.
    m_notice->place(100);
}

void QuickLookPreviewView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath background;
    background.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 16, 16);
    painter.fillPath(background, QColor(24, 24, 27, 247));
    painter.setPen(QPen(QColor(255, 255, 255, 31), 1));
    painter.drawPath(background);
}

bool QuickLookPreviewView::isPlaying() const
{
    return m_playback->isPlaying();
}

platform::MoviePlayer *QuickLookPreviewView::player() const
{
    return m_playback->player();
}

void QuickLookPreviewView::togglePlayback()
{
    m_playback->toggle();
}

void QuickLookPreviewView::setupPlayer(const std::optional<CaptureItem> &item)
{
    teardownPlayer();
    m_playback->open(item);
    if (m_playback->player() && m_media)
        m_media->setPlayer(m_playback->player());
}

void QuickLookPreviewView::teardownPlayer()
{
    if (!m_playback->player())
        return;
    if (m_media)
        m_media->setPlayer(nullptr);
    if (m_timeline)
        m_timeline->setPlayer(nullptr);
    m_playback->close();
}
