#pragma once

#include "capture/CaptureNeighbours.h"
#include "model/CaptureItem.h"
#include "model/CaptureQueue.h"
#include "preview/PreviewWindow.h"
#include "tray/TrayNeighbours.h"

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

// Owns the preview window: shows one staged capture large, pages through the
// queue it came from, forwards copy, save and delete to whoever opened it, and
// answers the preview's keys while the window is up. Main thread only.
class QuickLookPreviewController final : public QObject, public TrayPreview, public ClosableWindow {
    Q_OBJECT
    Q_PROPERTY(bool isPersistent READ isPersistent WRITE setPersistent NOTIFY isPersistentChanged)
    Q_PROPERTY(bool isMarkupMode READ isMarkupMode WRITE setMarkupMode NOTIFY isMarkupModeChanged)
    Q_PROPERTY(QString notice READ notice NOTIFY noticeChanged)

public:
    using ItemAction = std::function<void(const CaptureItem &)>;
    // Builds the view the window shows; a fresh one for every show.
    using ViewFactory = std::function<QWidget *(QuickLookPreviewController &)>;
    // The visible frame of the screen the preview opens on; nothing without a screen.
    using VisibleFrame = std::function<std::optional<QRectF>()>;

    // The markup editor's smallest size, in points.
    static constexpr QSizeF markupMinimumSize{880, 600};

    QuickLookPreviewController(PreviewWindowFactory makeWindow, ViewFactory makeView,
                               VisibleFrame visibleFrame, QObject *parent = nullptr);
    ~QuickLookPreviewController() override;

    const std::optional<CaptureItem> &currentItem() const { return m_currentItem; }
    void updateCurrentItem(const CaptureItem &item);
    CaptureQueue *currentQueue() const { return m_currentQueue; }

    bool isPersistent() const override { return m_isPersistent; }
    void setPersistent(bool persistent) override;
    bool isMarkupMode() const { return m_isMarkupMode; }
    // The markup editor is for screenshots: never on while a recording is shown.
    void setMarkupMode(bool markup);

    void show(const CaptureItem &item, CaptureQueue &queue, ItemAction onSave, ItemAction onCopy,
              ItemAction onDelete) override;
    void toggle(const CaptureItem &item, CaptureQueue &queue, ItemAction onSave, ItemAction onCopy,
                ItemAction onDelete);
    void close() override;
    void nextItem();
    void previousItem();
    void performDelete(const CaptureItem &item);
    void performCopy(const CaptureItem &item);
    bool hasCopyHandler() const { return bool(m_onCopy); }
    void performSave(const CaptureItem &item);

    std::optional<QUuid> currentItemID() const override;
    bool isWindowVisible() const override { return isVisible(); }
    bool isVisible() const;

    // What the preview tells the user about something that went wrong out of sight (the capture
    // shown was deleted under an edit); empty when there is nothing to tell. Cleared by the next
    // show, by close, and by dismissNotice().
    const QString &notice() const { return m_notice; }
    void setNotice(const QString &notice);
    // The user has read the notice; with no capture left to show, the preview closes.
    void dismissNotice();

    // Set by the view: whether markup would be lost were the editor closed now.
    void setUnsavedEditCheck(std::function<bool()> check) { m_hasUnsavedEdit = std::move(check); }

    // Set by the view while a recording is shown: starts or pauses it.
    void setOnTogglePlayback(std::function<void()> toggle)
    {
        m_onTogglePlayback = std::move(toggle);
    }

    // Set by the view: Ctrl+C copies as its Copy button does, saying what became of the copy.
    void setOnCopyKey(ItemAction copy) { m_onCopyKey = std::move(copy); }
    // Set by the view: Ctrl+S saves as its Save to Disk button does, saying why a save failed.
    void setOnSaveKey(ItemAction save) { m_onSaveKey = std::move(save); }

    void installKeyMonitor();
    void removeKeyMonitor();
    bool hasKeyMonitor() const { return m_keyMonitorInstalled; }

    // The window, while it exists.
    PreviewWindow *window() const { return m_window.get(); }

signals:
    void currentItemChanged();
    void isPersistentChanged();
    void isMarkupModeChanged();
    void noticeChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void page(int step);
    // The queue shown from changed: a capture that left it is replaced by the one that took its
    // place, or the preview closes when none is left.
    void followQueue();
    void watchQueue(CaptureQueue *queue);
    void setCurrentItem(std::optional<CaptureItem> item);

    PreviewWindowFactory m_makeWindow;
    ViewFactory m_makeView;
    VisibleFrame m_visibleFrame;

    std::unique_ptr<PreviewWindow> m_window;
    std::optional<CaptureItem> m_currentItem;
    QPointer<CaptureQueue> m_currentQueue;
    ItemAction m_onSave;
    ItemAction m_onCopy;
    ItemAction m_onDelete;
    std::function<void()> m_onTogglePlayback;
    ItemAction m_onCopyKey;
    ItemAction m_onSaveKey;
    std::function<bool()> m_hasUnsavedEdit;
    QMetaObject::Connection m_queueWatch;
    // Where the capture shown stands in the queue, for the one that takes its place.
    qsizetype m_currentIndex = 0;
    // The delete action of the preview itself moves on by its own rule.
    bool m_deleting = false;
    QString m_notice;
    bool m_keyMonitorInstalled = false;
    bool m_isPersistent = false;
    bool m_isMarkupMode = false;
};
