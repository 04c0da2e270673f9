// The program as its composition root builds it (the application environment over the real
// desktop, with default settings), on the harness's desktop: captures of a window of text staged
// with the hot key, then every button and key of the expanded tray, of the preview and of the pin
// deck's cards used on them, each checked by what a user meets: the clipboard another program
// pastes, the file written, the window shown, the capture gone.

#include "DesktopPreview.h"
#include "PanelDesktopSupport.h"
#include "PinDeckDesktopSupport.h"
#include "app/AppEnvironment.h"
#include "app/DesktopPlatform.h"
#include "capture/CaptureCoordinator.h"
#include "model/CaptureQueue.h"
#include "model/StoredEnum.h"
#include "model/UserDefaults.h"
#include "pins/PinManager.h"
#include "pins/PinStackContentView.h"
#include "pins/PinStackWindowController.h"
#include "preview/AnnotationCanvas.h"
#include "preview/AnnotationEditorState.h"
#include "preview/AnnotationEditorView.h"
#include "preview/PreviewControls.h"
#include "preview/QuickLookPreviewController.h"
#include "support/TempDirScope.h"
#include "support/TextLines.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"
#include "support/XclipPaste.h"
#include "tray/CaptureTrayView.h"
#include "tray/NotchWindowController.h"
#include "tray/TrayActionButton.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>
#include <memory>

namespace {

using State = TrayInteractionState;

constexpr int waitLimitMs = 20000;

const QStringList shownLines = {"Staged captures wait in the tray", "until they are saved"};

// A window of ours over most of the screen with large dark text on white: what the captures
// show. Short of the whole screen, which the window manager would stack as a full-screen window,
// above the preview.
class TextWindow final : public QWidget {
public:
    TextWindow() : QWidget(nullptr, Qt::FramelessWindowHint) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        drawTextLines(painter, shownLines, 56, QPoint(120, 300), 110);
    }
};

// What the desktop was asked to open, in the order asked (Qt hands every file URL here).
class OpenedFiles final : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls << url; }
};

// A window that takes dropped files, as a file manager or a mail program does.
class DropTarget final : public QWidget {
public:
    QList<QUrl> dropped;

    DropTarget() { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override
    {
        if (event->mimeData()->hasUrls())
            event->acceptProposedAction();
    }
    void dropEvent(QDropEvent *event) override
    {
        dropped = event->mimeData()->urls();
        event->acceptProposedAction();
    }
};

// The same pixels, whatever the format.
bool samePicture(const QImage &a, const QImage &b)
{
    return !a.isNull() &&
           a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

class ProgramActionsDesktop : public X11DesktopTest {
protected:
    void SetUp() override
    {
        X11DesktopTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_screen = m_platform.displays->mainDisplay()->rootRect;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_opened, "open");
        installShareProbe();

        m_text.setGeometry(m_screen.adjusted(40, 120, -40, -120));
        m_text.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_text));

        AppEnvironment::Options options = desktop::environmentOptions();
        options.makeUserDefaults = [this] {
            return std::make_unique<UserDefaults>(m_tmp.path() + QStringLiteral("/Corvanta.conf"));
        };
        m_environment = std::make_unique<AppEnvironment>(std::move(options));
        ASSERT_EQ(m_environment->hotkeyProblem(), QString());
        ASSERT_NE(tray(), nullptr);
    }
    void TearDown() override
    {
        if (m_screen.isEmpty())
            return;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
                dialog->reject();
        }
        m_environment.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        if (m_hadDataHome)
            qputenv("XDG_DATA_HOME", m_dataHome);
        else
            qunsetenv("XDG_DATA_HOME");
        movePointerTo(m_screen.bottomRight());
    }

    // An application that takes shared pictures: it copies the file it is given to sharedCopy.
    void installShareProbe()
    {
        m_dataHome = qgetenv("XDG_DATA_HOME");
        m_hadDataHome = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        ASSERT_TRUE(QDir().mkpath(m_applications.path() + QStringLiteral("/applications")));
        QFile entry(m_applications.path() + QStringLiteral("/applications/share-probe.desktop"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Share Probe\n"
                                   "Exec=cp %f %1\nMimeType=image/png;\n")
                        .arg(sharedCopy())
                        .toUtf8());
        entry.close();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_applications.path()));
    }
    QString sharedCopy() const { return m_applications.path() + QStringLiteral("/shared.png"); }

    CaptureQueue &queue() const { return m_environment->queue(); }
    NotchWindowController *tray() const
    {
        return dynamic_cast<NotchWindowController *>(
            m_environment->captureCoordinator().notchWindowController());
    }
    QuickLookPreviewController &preview() const { return m_environment->previewController(); }
    PinStackWindowController *deck() const { return m_environment->pinManager().stackController(); }
    bool queueHolds(const QUuid &id) const { return queuedItem(queue(), id).has_value(); }
    CaptureItem selected() const { return queue().selectedItem().value(); }

    // Captures the whole display with the program's hot key, as often as asked.
    void captureWithTheHotKey(int count)
    {
        for (int i = 0; i < count; ++i) {
            const qsizetype before = queue().items().size();
            xdotool({"key", "--clearmodifiers", "ctrl+alt+1"});
            ASSERT_TRUE(
                waitUntil([&] { return queue().items().size() == before + 1; }, waitLimitMs))
                << "capture " << i + 1;
        }
        ASSERT_TRUE(waitUntil([&] { return tray()->isVisible(); }, waitLimitMs));
        EXPECT_EQ(selected().image().size(), m_screen.size()) << "the whole display";
    }

    // The pointer rests at the top of the screen, where the tray opens.
    void hoverTheTray()
    {
        movePointerTo(QPoint(m_screen.center().x(), m_screen.top() + 3));
        ASSERT_TRUE(
            waitUntil([&] { return tray()->interactionState() == State::expanded; }, waitLimitMs));
    }
    void clickTrayButton(TrayButtonID id)
    {
        ASSERT_TRUE(
            waitUntil([&] { return tray()->interactionState() == State::expanded; }, waitLimitMs));
        auto *button = tray()->trayView()->findChild<TrayActionButton *>(
            QStringLiteral("trayButton.") + rawValue(id));
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(
            waitUntil([&] { return button->isVisible() && !tray()->trayView()->isMorphing(); }));
        clickAt(button->mapToGlobal(button->rect().center()));
    }
    // A key typed while a window of ours (the window of text) has the keyboard.
    void typeTrayKey(const QString &key)
    {
        m_text.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_text));
        ASSERT_TRUE(
            waitUntil([&] { return tray()->interactionState() == State::expanded; }, waitLimitMs));
        xdotool({"key", "--clearmodifiers", key});
    }

    // Empties the clipboard, so that what it holds next was put there by the action.
    void clearClipboard()
    {
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        ASSERT_TRUE(waitUntil([] { return pasteWithXclip("UTF8_STRING") == "before"; }));
    }
    void expectPastedPicture(const CaptureItem &item)
    {
        QImage pasted;
        EXPECT_TRUE(waitUntil(
            [&] {
                pasted = QImage::fromData(pasteWithXclip(QStringLiteral("image/png")), "PNG");
                return !pasted.isNull();
            },
            waitLimitMs));
        EXPECT_TRUE(samePicture(pasted, item.image())) << "the capture is on the clipboard";
    }
    void expectPastedText()
    {
        QString pasted;
        EXPECT_TRUE(waitUntil(
            [&] {
                pasted = QString::fromUtf8(pasteWithXclip(QStringLiteral("UTF8_STRING"))).trimmed();
                return pasted != QStringLiteral("before");
            },
            waitLimitMs));
        EXPECT_EQ(pasted, shownLines.join('\n')) << "the text read from the capture";
    }

    // Answers the save dialog an action opened with a file of the test, as the user confirms it.
    void answerSaveDialog(const QString &path)
    {
        QFileDialog *dialog = nullptr;
        ASSERT_TRUE(
            waitUntil([&] { return (dialog = visibleTopLevel<QFileDialog>()); }, waitLimitMs));
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(path);
        QMetaObject::invokeMethod(dialog, "accept");
    }
    void expectSavedPicture(const QString &path, const CaptureItem &item)
    {
        EXPECT_TRUE(waitUntil([&] { return !QImage(path).isNull(); }, waitLimitMs))
            << qPrintable(path);
        EXPECT_TRUE(samePicture(QImage(path), item.image())) << qPrintable(path);
    }
    QString savedFile(const QString &name) const { return m_saved.filePath(name); }

    // The preview's window and its buttons, found afresh: the toolbar is rebuilt after actions.
    QWidget *previewPanel() const { return desktopPreviewPanel(preview()); }
    PlateButton *previewButton(const QString &title) const
    {
        QWidget *panel = previewPanel();
        if (!panel)
            return nullptr;
        for (PlateButton *button : panel->findChildren<PlateButton *>()) {
            if (button->isVisible() &&
                (button->look().title == title || button->toolTip().startsWith(title)))
                return button;
        }
        return nullptr;
    }
    void clickPreviewButton(const QString &title)
    {
        PlateButton *button = nullptr;
        ASSERT_TRUE(waitUntil([&] { return (button = previewButton(title)); }, waitLimitMs))
            << qPrintable(title);
        clickAt(button->mapToGlobal(button->rect().center()));
    }
    // A key typed into the preview's window.
    void typePreviewKey(const QString &key)
    {
        QWidget *panel = previewPanel();
        ASSERT_NE(panel, nullptr);
        panel->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(panel->windowHandle()));
        xdotool({"key", "--clearmodifiers", key});
    }
    void expectPreviewOf(const CaptureItem &item, bool markup = false)
    {
        EXPECT_TRUE(waitUntil(
            [&] { return preview().isVisible() && preview().currentItemID() == item.id(); },
            waitLimitMs));
        EXPECT_EQ(preview().isMarkupMode(), markup);
        EXPECT_TRUE(previewPanel() && QTest::qWaitForWindowExposed(previewPanel()->windowHandle()));
    }

    void expectPinned(const CaptureItem &item)
    {
        EXPECT_TRUE(waitUntil(
            [&] {
                return deck() && deck()->window() && deck()->window()->isVisible() &&
                       !deck()->items().isEmpty() && deck()->items().first()->id() == item.id();
            },
            waitLimitMs));
    }

    TempDirScope m_tmp;
    QTemporaryDir m_saved;
    QTemporaryDir m_applications;
    QByteArray m_dataHome;
    bool m_hadDataHome = false;
    OpenedFiles m_opened;
    QRect m_screen;
    TextWindow m_text;
    std::unique_ptr<AppEnvironment> m_environment;
};

TEST_F(ProgramActionsDesktop, EveryButtonAndKeyOfTheExpandedTrayActsOnTheSelectedCapture)
{
    captureWithTheHotKey(7);
    hoverTheTray();

    // Text recognition: the text onto the clipboard, and the tray says so.
    clearClipboard();
    CaptureItem item = selected();
    clickTrayButton(TrayButtonID::ocr);
    expectPastedText();
    EXPECT_TRUE(waitUntil([&] { return tray()->state().noticeFor(item.id()) == "Copied!"; }));
    clearClipboard();
    typeTrayKey("t");
    expectPastedText();

    // Copy: the picture onto the clipboard, and the capture leaves the tray.
    clearClipboard();
    clickTrayButton(TrayButtonID::copy);
    expectPastedPicture(item);
    EXPECT_TRUE(waitUntil([&] { return !queueHolds(item.id()); }));
    clearClipboard();
    item = selected();
    typeTrayKey("c");
    expectPastedPicture(item);
    EXPECT_TRUE(waitUntil([&] { return !queueHolds(item.id()); }));

    // Save: the dialog, answered, writes the capture; the capture stays, saved.
    item = selected();
    clickTrayButton(TrayButtonID::save);
    answerSaveDialog(savedFile("button.png"));
    expectSavedPicture(savedFile("button.png"), item);
    EXPECT_TRUE(waitUntil([&] {
        return queuedItem(queue(), item.id())->state() == CaptureItemState::saved("button.png");
    }));
    for (const QString &key : {QStringLiteral("s"), QStringLiteral("Return")}) {
        typeTrayKey(key);
        answerSaveDialog(savedFile(key + ".png"));
        expectSavedPicture(savedFile(key + ".png"), item);
    }

    // Open and markup: the preview of the capture, and its markup.
    clickTrayButton(TrayButtonID::open);
    expectPreviewOf(item);
    preview().close();
    typeTrayKey("space");
    expectPreviewOf(item);
    preview().close();
    clickTrayButton(TrayButtonID::annotate);
    expectPreviewOf(item, true);
    preview().close();
    for (const QString &key : {QStringLiteral("a"), QStringLiteral("m")}) {
        typeTrayKey(key);
        expectPreviewOf(item, true);
        preview().close();
    }

    // Pin: the capture on the deck; the arrows select the older capture and back, and P pins.
    clickTrayButton(TrayButtonID::pin);
    expectPinned(item);
    typeTrayKey("Right");
    EXPECT_TRUE(waitUntil([&] { return selected().id() != item.id(); })) << "an older capture";
    const CaptureItem older = selected();
    typeTrayKey("Left");
    EXPECT_TRUE(waitUntil([&] { return selected().id() == item.id(); })) << "back again";
    typeTrayKey("Right");
    ASSERT_TRUE(waitUntil([&] { return selected().id() == older.id(); }));
    typeTrayKey("p");
    expectPinned(older);

    // Drag: the thumbnail dropped on another window hands it the capture's file. The pointer
    // moves in steps while the drag runs its own loop.
    DropTarget target;
    target.setGeometry(QRect(m_screen.center() - QPoint(150, 0), QSize(300, 200)));
    target.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&target));
    item = selected();
    auto *thumbnail = tray()->trayView()->findChild<QAbstractButton *>("largeThumbnail");
    ASSERT_NE(thumbnail, nullptr);
    const QPoint from = thumbnail->mapToGlobal(thumbnail->rect().center());
    const QPoint to = target.geometry().center();
    QStringList drag{"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown",
                     "1"};
    for (int step = 1; step <= 8; ++step) {
        const QPoint at = from + (to - from) * step / 8;
        drag << "sleep"
             << "0.1"
             << "mousemove" << QString::number(at.x()) << QString::number(at.y());
    }
    drag << "sleep"
         << "0.3"
         << "mouseup"
         << "1";
    QProcess dragging;
    dragging.start(QStringLiteral("xdotool"), drag);
    ASSERT_TRUE(waitUntil([&] { return !target.dropped.isEmpty(); }, waitLimitMs));
    dragging.waitForFinished();
    ASSERT_TRUE(target.dropped.first().isLocalFile());
    expectSavedPicture(target.dropped.first().toLocalFile(), item);
    target.hide();
    hoverTheTray();

    // Delete: the capture leaves the tray, by the button and by either key.
    for (const QString &key : {QString(), QStringLiteral("BackSpace"), QStringLiteral("Delete")}) {
        item = selected();
        if (key.isEmpty())
            clickTrayButton(TrayButtonID::delete_);
        else
            typeTrayKey(key);
        EXPECT_TRUE(waitUntil([&] { return !queueHolds(item.id()); })) << qPrintable(key);
    }

    // Escape folds the tray, held open away from the pointer; the program still takes captures.
    tray()->pin();
    movePointerTo(m_screen.center());
    typeTrayKey("Escape");
    EXPECT_TRUE(waitUntil([&] { return tray()->interactionState() != State::expanded; }));
    const qsizetype left = queue().items().size();
    captureWithTheHotKey(1);
    EXPECT_EQ(queue().items().size(), left + 1);
}

TEST_F(ProgramActionsDesktop, EveryButtonAndKeyOfThePreviewActsOnTheCaptureItShows)
{
    captureWithTheHotKey(5);
    hoverTheTray();
    // A click on the tray's thumbnail opens the preview.
    CaptureItem item = selected();
    auto *thumbnail = tray()->trayView()->findChild<QAbstractButton *>("largeThumbnail");
    ASSERT_NE(thumbnail, nullptr);
    ASSERT_TRUE(waitUntil([&] { return thumbnail->isVisible(); }));
    clickAt(thumbnail->mapToGlobal(thumbnail->rect().center()));
    expectPreviewOf(item);
    EXPECT_TRUE(preview().isPersistent());
    movePointerTo(m_screen.center());

    // Copy Text: the text onto the clipboard.
    clearClipboard();
    clickPreviewButton(QStringLiteral("Copy Text (OCR)"));
    expectPastedText();
    EXPECT_TRUE(waitUntil([&] { return previewButton(QStringLiteral("Copied! ")) != nullptr; }));
    // The confirmation goes again (the toolbar is rebuilt then: a click must not straddle it).
    EXPECT_TRUE(waitUntil(
        [&] { return previewButton(QStringLiteral("Copy Text (OCR)")) != nullptr; }, waitLimitMs));

    // Paging by the arrows and by the keys.
    clickPreviewButton(QStringLiteral("Previous capture"));
    EXPECT_TRUE(waitUntil([&] { return preview().currentItemID() != item.id(); }));
    clickPreviewButton(QStringLiteral("Next capture"));
    EXPECT_TRUE(waitUntil([&] { return preview().currentItemID() == item.id(); }));
    typePreviewKey("Left");
    EXPECT_TRUE(waitUntil([&] { return preview().currentItemID() != item.id(); }));
    typePreviewKey("Right");
    EXPECT_TRUE(waitUntil([&] { return preview().currentItemID() == item.id(); }));

    // Save to Disk and Ctrl+S: the dialog, answered, writes the capture.
    for (const QString &name : {QStringLiteral("button.png"), QStringLiteral("key.png")}) {
        if (name == QStringLiteral("button.png"))
            clickPreviewButton(QStringLiteral("Save to Disk"));
        else
            typePreviewKey("ctrl+s");
        answerSaveDialog(savedFile(name));
        expectSavedPicture(savedFile(name), item);
        // Shown as saved (the toolbar is rebuilt then).
        EXPECT_TRUE(waitUntil([&] {
            return queuedItem(queue(), item.id())->state() == CaptureItemState::saved(name);
        }));
    }

    // Share: the desktop's application for pictures gets the capture as a file.
    clickPreviewButton(QStringLiteral("Share..."));
    QMenu *menu = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (menu = visibleTopLevel<QMenu>()); }, waitLimitMs));
    QAction *probe = nullptr;
    for (QAction *action : menu->actions())
        probe = action->text() == QStringLiteral("Share Probe") ? action : probe;
    ASSERT_NE(probe, nullptr);
    clickAt(menu->mapToGlobal(menu->actionGeometry(probe).center()));
    expectSavedPicture(sharedCopy(), item);

    // Pin to Screen: the capture on the deck.
    clickPreviewButton(QStringLiteral("Pin to Screen"));
    expectPinned(item);

    // Markup: the editor takes the preview's place; an arrow drawn across the capture and Done &
    // Save write it into the staged capture. Escape leaves the editor.
    clickPreviewButton(QStringLiteral("Markup..."));
    ASSERT_TRUE(waitUntil([&] { return preview().isMarkupMode(); }));
    AnnotationEditorView *editor = nullptr;
    ASSERT_TRUE(
        waitUntil([&] { return (editor = previewPanel()->findChild<AnnotationEditorView *>()); }));
    ASSERT_TRUE(waitUntil([&] { return editor->canvas().isVisible(); }));
    const QRectF surface = editor->canvas().surfaceRect();
    const double scale = surface.width() / m_screen.width();
    const auto onCapture = [&](QPointF point) {
        return editor->canvas().mapToGlobal((surface.topLeft() + point * scale).toPoint());
    };
    const int row = m_screen.height() - 200;
    const QPoint from = onCapture(QPointF(100, row));
    const QPoint to = onCapture(QPointF(m_screen.width() - 100, row));
    xdotool({"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1",
             "mousemove", QString::number((from.x() + to.x()) / 2), QString::number(from.y()),
             "mousemove", QString::number(to.x()), QString::number(to.y()), "mouseup", "1"});
    ASSERT_TRUE(waitUntil([&] { return editor->state().annotations().size() == 1; }));
    clickPreviewButton(QStringLiteral("Done & Save"));
    EXPECT_TRUE(waitUntil([&] { return !preview().isMarkupMode(); }));
    EXPECT_TRUE(waitUntil([&] {
        const QColor marked =
            queuedItem(queue(), item.id())->image().pixelColor(m_screen.width() / 2, row);
        return marked.red() > 200 && marked.green() < 120 && marked.blue() < 120;
    })) << "the arrow is in the staged capture";
    item = *queuedItem(queue(), item.id());
    clickPreviewButton(QStringLiteral("Markup..."));
    EXPECT_TRUE(waitUntil([&] { return preview().isMarkupMode(); }));
    typePreviewKey("Escape");
    EXPECT_TRUE(waitUntil([&] { return !preview().isMarkupMode(); }));
    EXPECT_TRUE(preview().isVisible());

    // Copy and Ctrl+C: the picture onto the clipboard; the capture leaves the tray.
    clearClipboard();
    clickPreviewButton(QStringLiteral("Copy"));
    expectPastedPicture(item);
    EXPECT_TRUE(waitUntil([&] { return !queueHolds(item.id()); }));
    ASSERT_TRUE(waitUntil([&] { return preview().currentItem().has_value(); }));
    item = *preview().currentItem();
    clearClipboard();
    typePreviewKey("ctrl+c");
    expectPastedPicture(item);
    EXPECT_TRUE(waitUntil([&] { return !queueHolds(item.id()); }));

    // Delete: the capture leaves the tray.
    ASSERT_TRUE(waitUntil([&] { return preview().currentItem().has_value(); }));
    item = *preview().currentItem();
    clickPreviewButton(QStringLiteral("Delete"));
    EXPECT_TRUE(waitUntil([&] { return !queueHolds(item.id()); }));

    // Close, Escape and Space close the preview.
    ASSERT_TRUE(waitUntil([&] { return preview().isVisible(); }));
    clickPreviewButton(QStringLiteral("Close"));
    EXPECT_TRUE(waitUntil([&] { return !preview().isVisible(); }));
    for (const QString &key : {QStringLiteral("Escape"), QStringLiteral("space")}) {
        hoverTheTray();
        item = selected();
        clickTrayButton(TrayButtonID::open);
        expectPreviewOf(item);
        movePointerTo(m_screen.center());
        typePreviewKey(key);
        EXPECT_TRUE(waitUntil([&] { return !preview().isVisible(); })) << qPrintable(key);
    }
}

TEST_F(ProgramActionsDesktop, EveryActionOfThePinDecksCardsActsOnItsCapture)
{
    captureWithTheHotKey(2);
    hoverTheTray();
    const CaptureItem first = selected();
    typeTrayKey("p");
    expectPinned(first);
    typeTrayKey("Right");
    ASSERT_TRUE(waitUntil([&] { return selected().id() != first.id(); }));
    const CaptureItem second = selected();
    typeTrayKey("p");
    expectPinned(second);
    tray()->hide(true);
    movePointerTo(m_screen.center());

    StackedMediaStack &stack = deck()->view()->stack();
    const auto hoverCard = [&](const CaptureItem &item) {
        if (!stack.isExpanded()) {
            clickAt(onDeckCard(stack, 0));
            ASSERT_TRUE(waitUntil([&] { return stack.isExpanded(); }));
        }
        movePointerTo(onDeckCard(stack, 0));
        ASSERT_TRUE(waitUntil([&] { return stack.activeHoverID() == item.id(); }));
    };

    // Copy: the picture onto the clipboard; the card stays.
    hoverCard(second);
    clearClipboard();
    clickAt(onDeckCapsule(stack, 0, DeckCapsuleButton::copy));
    expectPastedPicture(second);
    EXPECT_EQ(deck()->items().size(), 2);

    // Save: the dialog, answered, writes the picture.
    hoverCard(second);
    clickAt(onDeckCapsule(stack, 0, DeckCapsuleButton::save));
    answerSaveDialog(savedFile("pin.png"));
    expectSavedPicture(savedFile("pin.png"), second);

    // Open: the picture handed to the desktop as a file of its own.
    hoverCard(second);
    clickAt(onDeckCard(stack, 0, QPointF(20, 20)));
    ASSERT_TRUE(waitUntil([&] { return !m_opened.urls.isEmpty(); }, waitLimitMs));
    ASSERT_TRUE(m_opened.urls.first().isLocalFile());
    expectSavedPicture(m_opened.urls.first().toLocalFile(), second);

    // Remove: the card and its capture go; the other stays.
    hoverCard(second);
    clickAt(onDeckCapsule(stack, 0, DeckCapsuleButton::remove));
    EXPECT_TRUE(waitUntil([&] { return deck()->items().size() == 1; }));
    EXPECT_FALSE(queueHolds(second.id()));
    EXPECT_TRUE(queueHolds(first.id()));
    EXPECT_EQ(deck()->items().first()->id(), first.id());
}

} // namespace

#include "ProgramActionsDesktopTest.moc"
