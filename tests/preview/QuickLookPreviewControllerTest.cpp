#include "preview/QuickLookPreviewController.h"
#include "model/CaptureQueue.h"
#include "model/CaptureTestSupport.h"
#include "preview/PreviewGeometry.h"
#include "support/TempDirScope.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTemporaryFile>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

void expectRect(const QRectF &actual, const QRectF &expected)
{
    EXPECT_NEAR(actual.x(), expected.x(), 1e-9);
    EXPECT_NEAR(actual.y(), expected.y(), 1e-9);
    EXPECT_NEAR(actual.width(), expected.width(), 1e-9);
    EXPECT_NEAR(actual.height(), expected.height(), 1e-9);
}

class KeySink final : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    // Kept outside the sinks: a key that closes the preview deletes the sink inside it.
    static inline int received = 0;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        ++received;
        event->accept();
    }
};

struct WindowLog {
    int created = 0;
    int destroyed = 0;
    QList<QPair<QRectF, bool>> frames;
    int contents = 0;
};

// Records what the controller asks of its window; the window's widget stands
// in for whatever a key is typed into.
class FakePreviewWindow final : public PreviewWindow {
public:
    explicit FakePreviewWindow(WindowLog &log) : m_log(log) { ++m_log.created; }
    ~FakePreviewWindow() override { ++m_log.destroyed; }
    void setFrame(const QRectF &frame, bool animate) override
    {
        m_log.frames.append({frame, animate});
        m_frame = frame;
    }
    QRectF frame() const override { return m_frame; }
    void setContent(QWidget *view) override
    {
        m_view.reset(view);
        if (view) {
            view->setParent(&m_widget);
            ++m_log.contents;
        }
    }
    void present() override { m_visible = true; }
    bool isVisible() const override { return m_visible; }
    bool holds(const QObject *target) const override
    {
        for (const QObject *o = target; o; o = o->parent()) {
            if (o == &m_widget)
                return true;
        }
        return false;
    }
    QWidget &widget() { return m_widget; }

private:
    WindowLog &m_log;
    QWidget m_widget;
    std::unique_ptr<QWidget> m_view;
    QRectF m_frame;
    bool m_visible = false;
};

class PreviewControllerTest : public ::testing::Test {
protected:
    PreviewControllerTest()
        : controller(
              [this] {
                  auto window = std::make_unique<FakePreviewWindow>(log);
                  lastWindow = window.get();
                  return window;
              },
              [](QuickLookPreviewController &) { return new QWidget; },
              [this] { return visibleFrame; })
    {
        // Oldest first in the list below; the queue holds them newest first.
        for (QSize size : {QSize(2880, 1800), QSize(1000, 2000), QSize(100, 50)}) {
            captures.append(makeScreenshot(filledImage(size.width(), size.height(), Qt::gray)));
            queue.enqueue(captures.last());
        }
        waitForWrites();
    }

    void showNewest()
    {
        controller.show(queue.items().first(), queue, record("save"), record("copy"),
                        [this](const CaptureItem &item) {
                            calls.append("delete");
                            queue.remove(item.id());
                        });
    }

    std::function<void(const CaptureItem &)> record(const char *name)
    {
        return [this, name](const CaptureItem &item) {
            calls.append(QString::fromLatin1(name));
            lastActionID = item.id();
        };
    }

    // Whether the preview took the key: a key it lets pass reaches the widget.
    static bool taken(QWidget *target, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        const int before = KeySink::received;
        QKeyEvent event(QEvent::KeyPress, key, mods);
        QApplication::sendEvent(target, &event);
        return KeySink::received == before;
    }

    // A widget inside the preview window that keys can be typed into.
    KeySink *insideWindow()
    {
        auto *sink = new KeySink(&lastWindow->widget());
        return sink;
    }

    TempDirScope temp;
    CaptureQueue queue{10};
    QList<CaptureItem> captures;
    WindowLog log;
    FakePreviewWindow *lastWindow = nullptr;
    std::optional<QRectF> visibleFrame;
    QuickLookPreviewController controller;
    QStringList calls;
    std::optional<QUuid> lastActionID;
};

} // namespace

TEST(PreviewGeometry, SizesFromTheAspectWithinTheCaps)
{
    expectRect(previewWindowRect(2880, 1800, QRectF(0, 0, 1512, 944)),
               QRectF(206, 75.75, 1100, 792.5));
    expectRect(previewWindowRect(1000, 2000, previewFallbackFrame), QRectF(330, 45, 780, 810));
    expectRect(previewWindowRect(100, 50, previewFallbackFrame), QRectF(330, 180, 780, 540));
    expectRect(previewWindowRect(0, 0, previewFallbackFrame), QRectF(330, 180, 780, 540));
    expectRect(previewWindowRect(5120, 1440, previewFallbackFrame), QRectF(170, 180, 1100, 540));
    // On a small screen the caps win over the minimums; the frame's origin counts.
    expectRect(previewWindowRect(1920, 1080, QRectF(100, 50, 800, 500)), QRectF(140, 75, 720, 450));
}

TEST(PreviewGeometry, MarkupEnlargesWithinTheScreen)
{
    const QRectF screen(0, 0, 1440, 900);
    // A small preview grows about its centre to the editor's size.
    expectRect(enlargedWithin(QRectF(330, 180, 780, 540), QSizeF(880, 600), screen),
               QRectF(280, 150, 880, 600));
    // Near an edge it is moved back inside.
    expectRect(enlargedWithin(QRectF(0, 0, 780, 540), QSizeF(880, 600), screen),
               QRectF(0, 0, 880, 600));
    // A large one keeps its size; a screen smaller than the editor caps it.
    expectRect(enlargedWithin(QRectF(100, 50, 1100, 792), QSizeF(880, 600), screen),
               QRectF(100, 50, 1100, 792));
    expectRect(enlargedWithin(QRectF(20, 20, 720, 450), QSizeF(880, 600), QRectF(0, 0, 800, 500)),
               QRectF(0, 0, 800, 500));
}

TEST_F(PreviewControllerTest, MarkupModeMakesRoomForTheEditorAndIsNeverOnOverARecording)
{
    showNewest();
    ASSERT_EQ(log.frames.size(), 1);
    controller.setMarkupMode(true);
    ASSERT_EQ(log.frames.size(), 2);
    expectRect(log.frames.last().first, QRectF(280, 150, 880, 600));
    EXPECT_TRUE(log.frames.last().second);
    controller.setMarkupMode(false);
    EXPECT_EQ(log.frames.size(), 2) << "leaving markup keeps the window as it is";
    // A recording shown ends markup, which does not start over it: its picture stays as it is.
    controller.setMarkupMode(true);
    controller.show(makeRecording(temp.path() + QStringLiteral("/Recording.mp4")), queue, {}, {},
                    {});
    EXPECT_FALSE(controller.isMarkupMode());
    controller.setMarkupMode(true);
    EXPECT_FALSE(controller.isMarkupMode());
    controller.close();
}

TEST_F(PreviewControllerTest, ShowPagesAndWrapsThroughTheQueue)
{
    showNewest();
    ASSERT_TRUE(controller.isVisible());
    EXPECT_EQ(controller.currentItemID(), captures.at(2).id());
    // No screen: the fallback frame; a first show does not animate.
    ASSERT_EQ(log.frames.size(), 1);
    expectRect(log.frames.at(0).first, QRectF(330, 180, 780, 540));
    EXPECT_FALSE(log.frames.at(0).second);

    controller.setPersistent(true);
    controller.setMarkupMode(true);
    visibleFrame = QRectF(0, 0, 1512, 944);
    controller.previousItem(); // from the newest back round to the oldest
    EXPECT_EQ(controller.currentItemID(), captures.at(0).id());
    EXPECT_EQ(log.created, 1) << "the same window moves to the next capture";
    EXPECT_TRUE(log.frames.last().second);
    expectRect(log.frames.last().first, QRectF(206, 75.75, 1100, 792.5));
    EXPECT_EQ(log.contents, 2) << "the view is built afresh";
    EXPECT_TRUE(controller.isPersistent());
    EXPECT_TRUE(controller.isMarkupMode());

    controller.nextItem();
    EXPECT_EQ(controller.currentItemID(), captures.at(2).id());
    controller.nextItem();
    EXPECT_EQ(controller.currentItemID(), captures.at(1).id());

    controller.close();
    EXPECT_FALSE(controller.isVisible());
    EXPECT_FALSE(controller.currentItemID());
    EXPECT_FALSE(controller.isPersistent());
    EXPECT_FALSE(controller.isMarkupMode());
    EXPECT_EQ(log.destroyed, 1);
    controller.nextItem();
    EXPECT_EQ(log.created, 1) << "paging with nothing shown does nothing";
    controller.close();
}

TEST_F(PreviewControllerTest, DeleteShowsTheNewestRemainingThenCloses)
{
    controller.show(captures.at(1), queue, record("save"), record("copy"),
                    [this](const CaptureItem &item) { queue.remove(item.id()); });
    controller.performDelete(captures.at(1));
    EXPECT_EQ(controller.currentItemID(), captures.at(2).id());
    controller.performDelete(captures.at(2));
    EXPECT_EQ(controller.currentItemID(), captures.at(0).id());
    controller.performDelete(captures.at(0));
    EXPECT_FALSE(controller.isVisible());
    EXPECT_TRUE(queue.items().isEmpty());

    // The only capture left the queue while shown, without an edit: the preview closes.
    queue.enqueue(captures.at(1));
    showNewest();
    queue.remove(captures.at(1).id());
    EXPECT_FALSE(controller.isVisible());
    EXPECT_FALSE(controller.currentItemID());
    controller.nextItem();
    EXPECT_FALSE(controller.currentItemID());
}

TEST_F(PreviewControllerTest, KeysOfThePreviewWindow)
{
    showNewest();
    EXPECT_TRUE(taken(insideWindow(), Qt::Key_Right));
    EXPECT_EQ(controller.currentItemID(), captures.at(1).id());
    EXPECT_TRUE(taken(insideWindow(), Qt::Key_Left, Qt::ControlModifier));
    EXPECT_EQ(controller.currentItemID(), captures.at(2).id());

    EXPECT_TRUE(taken(insideWindow(), Qt::Key_C, Qt::ControlModifier));
    EXPECT_TRUE(taken(insideWindow(), Qt::Key_S, Qt::ControlModifier));
    EXPECT_EQ(calls, QStringList({"copy", "save"}));
    EXPECT_EQ(lastActionID, captures.at(2).id());
    // With Shift it is another shortcut; a plain letter is the window's own.
    EXPECT_FALSE(taken(insideWindow(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_FALSE(taken(insideWindow(), Qt::Key_C));
    EXPECT_EQ(calls.size(), 2);

    // Space closes a screenshot, like Escape.
    EXPECT_TRUE(taken(insideWindow(), Qt::Key_Space));
    EXPECT_FALSE(controller.isVisible());
    EXPECT_FALSE(controller.hasKeyMonitor());
    KeySink elsewhere;
    EXPECT_FALSE(taken(&elsewhere, Qt::Key_Escape)) << "closed: keys pass on";
}

TEST_F(PreviewControllerTest, KeysPassOnWhileAnnotatingAndInOtherWindows)
{
    showNewest();
    // A text field inside the preview while markup mode is on: its keys are the field's.
    KeySink *callout = insideWindow();
    controller.setMarkupMode(true);
    for (int key : {Qt::Key_Space, Qt::Key_Left, Qt::Key_Right, Qt::Key_Escape})
        EXPECT_FALSE(taken(callout, key)) << key;
    EXPECT_TRUE(controller.isVisible());
    EXPECT_EQ(controller.currentItemID(), captures.at(2).id());

    // Another window of the program keeps its keys too.
    controller.setMarkupMode(false);
    KeySink settings;
    EXPECT_FALSE(taken(&settings, Qt::Key_Escape));
    EXPECT_FALSE(taken(&settings, Qt::Key_C, Qt::ControlModifier));
    EXPECT_TRUE(controller.isVisible());
    EXPECT_TRUE(calls.isEmpty());

    EXPECT_TRUE(taken(callout, Qt::Key_Escape));
    EXPECT_FALSE(controller.isVisible());
}

TEST_F(PreviewControllerTest, SpaceTogglesARecordingAndIsSwallowedWithoutAPlayer)
{
    QTemporaryFile movie;
    ASSERT_TRUE(movie.open());
    queue.enqueue(makeRecording(movie.fileName()));
    showNewest();
    EXPECT_TRUE(taken(insideWindow(), Qt::Key_Space));
    EXPECT_TRUE(controller.isVisible()) << "no player: nothing happens, the window stays";

    int toggles = 0;
    controller.setOnTogglePlayback([&] { ++toggles; });
    EXPECT_TRUE(taken(insideWindow(), Qt::Key_Space));
    EXPECT_EQ(toggles, 1);
    controller.close();
}

#include "QuickLookPreviewControllerTest.moc"
