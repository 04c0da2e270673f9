// Dialogs and alerts of ours on the harness's window manager: opened from the always-on-top
// preview they are stacked above it (the window manager's own stacking list says so) and stay
// there while open.

#include "DesktopPreviewTest.h"
#include "PanelDesktopSupport.h"
#include "app/DesktopPlatform.h"
#include "capture/SaveService.h"
#include "model/CaptureTestSupport.h"
#include "platform/PanelWindows.h"
#include "platform/linux/MessageBoxAlertPresenter.h"
#include "platform/qt/QtImageWriter.h"
#include "platform/qt/QtSavePanel.h"
#include "platform/x11/X11Connection.h"
#include "preview/PreviewControls.h"
#include "preview/QtPreviewWindow.h"
#include "preview/QuickLookPreviewController.h"
#include "preview/QuickLookPreviewView.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

// Client windows bottom to top, as the window manager stacks them.
QList<quint32> stacking()
{
    platform::X11Connection connection;
    QMutexLocker lock(&connection.mutex());
    return connection.property(connection.root(), "_NET_CLIENT_LIST_STACKING").values32();
}

// Whether the window manager stacks `upper` above `lower`.
bool stackedAbove(QWidget *upper, QWidget *lower)
{
    const QList<quint32> order = stacking();
    const qsizetype up = order.indexOf(quint32(upper->winId()));
    const qsizetype down = order.indexOf(quint32(lower->winId()));
    return up >= 0 && down >= 0 && up > down;
}

class DialogStackingDesktop : public DesktopPreviewTest {
protected:
    void SetUp() override
    {
        DesktopPreviewTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const CaptureItem item = makeScreenshot(filledImage(1600, 1000, Qt::darkCyan));
        m_queue.enqueue(item);
        // Saving as the program does: the tray's callback, through the save service.
        m_preview->show(item, m_queue,
                        [this](const CaptureItem &shown) {
                            [](SaveService &service, CaptureItem saved) -> QCoro::Task<void> {
                                try {
                                    co_await service.save(std::move(saved));
                                } catch (...) {
                                }
                            }(m_save, shown);
                        },
                        {}, {});
        m_panel = desktopPreviewPanel(*m_preview);
        ASSERT_NE(m_panel, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_panel->windowHandle()));
    }
    void TearDown() override
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
                dialog->reject();
        }
        DesktopPreviewTest::TearDown();
    }

    // The dialog is up, above the preview, and still there after the preview is clicked.
    void expectAboveThePreview(QWidget *dialog)
    {
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog->windowHandle()));
        EXPECT_TRUE(waitUntil([&] { return stackedAbove(dialog, m_panel); }))
            << "opened above the preview";
        m_panel->windowHandle()->requestActivate();
        m_panel->raise();
        QTest::qWait(300);
        EXPECT_TRUE(stackedAbove(dialog, m_panel)) << "kept above it while open";
    }

    SaveService m_save{std::make_shared<platform::QtSavePanel>(),
                       std::make_shared<platform::QtImageWriter>()};
    QWidget *m_panel = nullptr;
};

TEST_F(DialogStackingDesktop, SaveToDiskOpensTheDialogAboveThePreview)
{
    PlateButton *save = nullptr;
    for (PlateButton *button : m_panel->findChildren<PlateButton *>())
        save = button->look().title == QStringLiteral("Save to Disk") ? button : save;
    ASSERT_NE(save, nullptr);
    QTest::mouseClick(save, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([] { return visibleTopLevel<QFileDialog>() != nullptr; }));
    expectAboveThePreview(visibleTopLevel<QFileDialog>());
}

TEST_F(DialogStackingDesktop, ControlSOpensTheDialogAboveThePreview)
{
    QTest::keyClick(m_panel->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([] { return visibleTopLevel<QFileDialog>() != nullptr; }));
    expectAboveThePreview(visibleTopLevel<QFileDialog>());
}

TEST_F(DialogStackingDesktop, AnAlertAskedWhileThePreviewHasTheKeyboardOpensAboveIt)
{
    platform::MessageBoxAlertPresenter alerts;
    platform::Alert alert;
    alert.messageText = QStringLiteral("Recording Save Failed");
    alert.buttonTitles = {QStringLiteral("OK")};
    QCoro::Task<int> answer = alerts.present(alert);
    QMessageBox *box = nullptr;
    for (QWidget *widget : QApplication::allWidgets()) {
        if (auto *found = qobject_cast<QMessageBox *>(widget); found && found->isVisible())
            box = found;
    }
    expectAboveThePreview(box);
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_EQ(QCoro::waitFor(std::move(answer)), 0);
}

// The root window's children bottom to top: unmanaged panels and the window manager's frames.
QList<quint32> rootChildren()
{
    platform::X11Connection connection;
    QMutexLocker lock(&connection.mutex());
    xcb_connection_t *c = connection.get();
    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(c, xcb_query_tree(c, connection.root()), nullptr);
    QList<quint32> children;
    if (tree) {
        const xcb_window_t *list = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i)
            children << list[i];
        free(tree);
    }
    return children;
}

// The root's child that holds the window (its frame, or itself when unmanaged).
quint32 frameOf(quint32 window)
{
    platform::X11Connection connection;
    QMutexLocker lock(&connection.mutex());
    xcb_connection_t *c = connection.get();
    for (;;) {
        xcb_query_tree_reply_t *tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
        if (!tree)
            return 0;
        const quint32 parent = tree->parent;
        const quint32 root = tree->root;
        free(tree);
        if (parent == root)
            return window;
        window = parent;
    }
}

// A save dialog asked for by a panel the window manager does not stack (the pin deck's): the
// panel goes below the dialog.
TEST_F(DialogStackingDesktop, ASaveDialogOfAnUnmanagedPanelOpensAboveIt)
{
    std::shared_ptr<platform::PanelWindows> panels = desktop::makePanelWindows();
    QWidget deck(nullptr, platform::PanelWindows::windowFlags());
    panels->prepare(&deck, platform::PanelLevel::topmost);
    deck.setGeometry(200, 200, 900, 700);
    deck.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&deck));
    platform::QtSavePanel savePanel;
    platform::SavePanelOptions options;
    options.nameFieldStringValue = QStringLiteral("Pin.png");
    QCoro::Task<std::optional<QUrl>> answer = savePanel.run(options, &deck);
    ASSERT_TRUE(waitUntil([] { return visibleTopLevel<QFileDialog>() != nullptr; }));
    QFileDialog *dialog = visibleTopLevel<QFileDialog>();
    auto above = [&] {
        const QList<quint32> order = rootChildren();
        const qsizetype up = order.indexOf(frameOf(quint32(dialog->winId())));
        const qsizetype down = order.indexOf(quint32(deck.winId()));
        return up >= 0 && down >= 0 && up > down;
    };
    EXPECT_TRUE(waitUntil(above)) << "the dialog is above the panel";
    dialog->reject();
    EXPECT_EQ(QCoro::waitFor(std::move(answer)), std::nullopt);
}

} // namespace
