#include "platform/qt/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
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

TEST_F(QtPasteboardTest, ProvidedBytesAreMadeOnceByTheFirstPasteThatAsks)
{
    std::atomic<int> pngMade = 0;
    std::atomic<int> tiffMade = 0;
    pasteboard.clearContents();
    ASSERT_TRUE(pasteboard.setProvidedData(
        [&] {
            ++pngMade;
            QThread::msleep(50);
            return QByteArray("png bytes");
        },
        "image/png"));
    ASSERT_TRUE(pasteboard.setProvidedData(
        [&] {
            ++tiffMade;
            return QByteArray("tiff bytes");
        },
        "image/tiff"));
    EXPECT_EQ(clipboardData()->formats(), QStringList({"image/png", "image/tiff"}));
    EXPECT_EQ(pngMade.load() + tiffMade.load(), 0);

    // Pastes served on several threads at once share the one making.
    QList<QFuture<QByteArray>> pastes;
    for (int i = 0; i < 4; ++i)
        pastes << QtConcurrent::run([] { return clipboardData()->data("image/png"); });
    for (QFuture<QByteArray> &paste : pastes)
        EXPECT_EQ(paste.result(), "png bytes");
    EXPECT_EQ(pngMade.load(), 1);
    EXPECT_EQ(tiffMade.load(), 0);
    EXPECT_EQ(clipboardData()->data("image/tiff"), "tiff bytes");

    // A later addition offers what was made before without making it again.
    ASSERT_TRUE(pasteboard.setData("text", "text/plain"));
    EXPECT_EQ(clipboardData()->data("image/png"), "png bytes");
    EXPECT_EQ(clipboardData()->data("image/tiff"), "tiff bytes");
    EXPECT_EQ(pngMade.load() + tiffMade.load(), 2);
}

TEST_F(QtPasteboardTest, FileOfferIsWithdrawnOnceWhenReplaced)
{
    int withdrawn = 0;
    ASSERT_TRUE(pasteboard.writeFileURL(QUrl::fromLocalFile("/tmp/a.mp4"), [&] { ++withdrawn; }));
    EXPECT_EQ(withdrawn, 0);
    ASSERT_TRUE(pasteboard.setData("png", "image/png"));
    EXPECT_EQ(withdrawn, 1);

    ASSERT_TRUE(pasteboard.writeFileURL(QUrl::fromLocalFile("/tmp/b.mp4"), [&] { ++withdrawn; }));
    pasteboard.clearContents();
    EXPECT_EQ(withdrawn, 2);
    ASSERT_TRUE(pasteboard.writeFileURL(QUrl::fromLocalFile("/tmp/c.mp4"), [&] { ++withdrawn; }));
    // Another program's copy, as Qt sees it.
    QGuiApplication::clipboard()->setText("someone else");
    EXPECT_EQ(withdrawn, 3);
    pasteboard.setString("ours");
    EXPECT_EQ(withdrawn, 3);
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
