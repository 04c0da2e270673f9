#include "platform/qt/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <gtest/gtest.h>

using platform::QtPasteboard;

namespace {

const QMimeData *clipboardData()
{
    return QGuiApplication::clipboard()->mimeData();
}

class QtPasteboardTest : public ::testing::Test {
protected:
    void TearDown() override { QGuiApplication::clipboard()->clear(); }
    QtPasteboard pasteboard;
};

TEST_F(QtPasteboardTest, DataAddsUpInOrderAndIsServedAsGiven)
{
    const QByteArray png = "png bytes";
    const QByteArray tiff = "tiff bytes";
    pasteboard.clearContents();
    ASSERT_TRUE(pasteboard.setData(png, "image/png"));
    ASSERT_TRUE(pasteboard.setData(tiff, "image/tiff"));
    EXPECT_EQ(clipboardData()->formats(), QStringList({"image/png", "image/tiff"}));
    // The very bytes handed in: nothing is encoded again for a paste.
    EXPECT_EQ(clipboardData()->data("image/png").constData(), png.constData());
    EXPECT_EQ(clipboardData()->data("image/tiff"), tiff);

    pasteboard.clearContents();
    EXPECT_TRUE(clipboardData() == nullptr || clipboardData()->formats().isEmpty());
    ASSERT_TRUE(pasteboard.setData(tiff, "image/tiff"));
    EXPECT_EQ(clipboardData()->formats(), QStringList("image/tiff"));
}

TEST_F(QtPasteboardTest, FileIsOfferedForFileManagersAndTextReplacesEverything)
{
    const QUrl file = QUrl::fromLocalFile("/tmp/a movie.mp4");
    pasteboard.setData("png", "image/png");
    ASSERT_TRUE(pasteboard.writeFileURL(file));
    EXPECT_EQ(clipboardData()->urls(), QList<QUrl>({file}));
    EXPECT_EQ(clipboardData()->data("x-special/gnome-copied-files"),
              "copy\nfile:///tmp/a%20movie.mp4");
    EXPECT_FALSE(clipboardData()->hasFormat("image/png"));

    ASSERT_TRUE(pasteboard.setString("recognised text"));
    EXPECT_EQ(clipboardData()->text(), "recognised text");
    EXPECT_FALSE(clipboardData()->hasUrls());
}

} // namespace
