#pragma once

#include "model/CaptureItem.h"
#include "preview/AnnotationEditorView.h"
#include "preview/PreviewServices.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

class CaptureQueue;
class PlateButton;
class PreviewMediaView;
class PreviewNotice;
class PreviewPlayback;
class PreviewTimeline;
class QLabel;
class QStackedLayout;
class QuickLookPreviewController;

// The preview window's content: the capture's name, size and kind with paging and Close; the
// screenshot or the playing recording; and the toolbar of actions. In markup mode the markup
// editor takes its place and writes the edited image back into the staging queue.
class QuickLookPreviewView final : public QWidget {
    Q_OBJECT

public:
    QuickLookPreviewView(QuickLookPreviewController &controller, PreviewServices services,
                         QWidget *parent = nullptr);
    ~QuickLookPreviewView() override;

    void togglePlayback();
    void copyItem(const CaptureItem &item);
    QCoro::Task<void> recognizeAndCopyText(CaptureItem item);
    void applyMarkup(const QImage &image, const CaptureItem &item);

    bool isCopied() const { return m_isCopied; }
    bool isOCRProcessing() const { return m_isOCRProcessing; }
    bool ocrJustCopied() const { return m_ocrJustCopied; }
    bool isPlaying() const;
    platform::MoviePlayer *player() const;
    AnnotationEditorView *editor() const { return m_editor; }

    // How long the copy confirmations stay, in milliseconds.
    static constexpr int confirmationMs = 1500;

    PreviewNotice *notice() const { return m_notice; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *makePreviewPage();
    QWidget *makeToolbar();
    void rebuildToolbar();
    void showPlaying();
    void refresh();
    void updateMode();
    void setupPlayer(const std::optional<CaptureItem> &item);
    void teardownPlayer();
    // Whether the capture is still in the tray.
    bool isStaged(const CaptureItem &item) const;
    // Whether the full picture on show is the capture's own (a screenshot's, read).
    bool showsPictureOf(const CaptureItem &item) const;
    // Runs act with the capture once its picture has decoded (off the main thread, unless held in
    // memory), unless the preview went meanwhile. When its file no longer decodes, the picture on
    // show is written back to the tray and act gets the capture that carries it, which is shown.
    // When neither is left: act does not run, and the preview says what could not be done
    // (`undone`: "copied", "pinned", ...).
    void withPictureDo(const CaptureItem &item, const QString &undone,
                       std::function<void(const CaptureItem &)> act);
    std::optional<CaptureItem> withPicture(const CaptureItem &item, bool decodes,
                                           const QString &undone);
    void tellPictureGone(const CaptureItem &item, const QString &undone);
    void copyWithPicture(const CaptureItem &item);
    void saveItem(const CaptureItem &item);
    QCoro::Task<void> pinItem(CaptureItem item);
    QCoro::Task<void> shareItem(CaptureItem item);
    // The picture for an action: the one on show, else the capture's file decoded away from the
    // main thread.
    QFuture<QImage> pictureOf(const CaptureItem &item) const;
    // Once the opener's action on the capture (marked `busy` while it runs) has ended: done()
    // when it ended well, else the reason it failed, said in the preview (`undone`: "copied").
    void followAction(CaptureQueue &queue, const CaptureItem &item, CaptureItemState::Kind busy,
                      const QString &undone, std::function<void()> done);
    void confirmCopied();
    PlateButton *addToolbarButton(const QString &symbol, const QString &title, const QColor &tint,
                                  std::function<void()> action);

    QuickLookPreviewController &m_controller;
    PreviewServices m_services;
    std::optional<QUuid> m_shownID;

    QStackedLayout *m_stack = nullptr;
    QWidget *m_previewPage = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_details = nullptr;
    QLabel *m_mode = nullptr;
    PreviewMediaView *m_media = nullptr;
    PreviewTimeline *m_timeline = nullptr;
    PlateButton *m_playButton = nullptr;
    QWidget *m_toolbar = nullptr;
    QList<PlateButton *> m_toolbarButtons;
    QPointer<AnnotationEditorView> m_editor;
    PreviewNotice *m_notice = nullptr;

    PreviewPlayback *m_playback = nullptr;
    bool m_isCopied = false;
    bool m_isOCRProcessing = false;
    bool m_ocrJustCopied = false;
};
