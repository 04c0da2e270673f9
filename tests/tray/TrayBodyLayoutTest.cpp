#include "tray/TrayBodyLayout.h"
#include "tray/TrayTestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr double viewWidth = 1080;

// A tray with `count` captures, the first one displayed and shown large, all buttons on.
TrayBody::Content content(int count, TrayPosition position = TrayPosition::floatingTop)
{
    TrayBody::Content content;
    content.position = position;
    content.attached = position == TrayPosition::notch;
    content.notchHeight = content.attached ? 32 : 0;
    content.count = count;
    if (count > 0) {
        content.displayed = makeTrayItem(QDateTime::currentDateTime());
        content.largeID = content.displayed->id();
        content.visibleButtons = allCases<TrayButtonID>();
    }
    content.badgeText = QString::number(count);
    content.elapsedText = QStringLiteral("00:07");
    content.compactSize = QSizeF(196, 34);
    content.expandedSize = QSizeF(1000, content.attached ? 114 : 82);
    return content;
}

TrayBody::Layout layOut(const TrayBody::Content &content)
{
    return TrayBody::layout(content, viewWidth, QSizeF(60, 24), QSizeF(70, 24));
}

} // namespace

TEST(TrayBodyLayout, ThePillCentresItsPartsWhenFloatingAndSpreadsThemWhenAttached)
{
    const TrayBody::Layout floating = layOut(content(3));
    const QRectF pill = floating.compactFrame;
    EXPECT_EQ(pill, QRectF((viewWidth - 196) / 2, 0, 196, 34));
    ASSERT_TRUE(floating.compactThumbnail && floating.compactBadge);
    EXPECT_DOUBLE_EQ(floating.compactBadge->left() - floating.compactThumbnail->right(), 8);
    EXPECT_DOUBLE_EQ(floating.compactThumbnail->left() - pill.left(),
                     pill.right() - floating.compactBadge->right());
    EXPECT_DOUBLE_EQ(floating.compactThumbnail->center().y(), 17);
    EXPECT_FALSE(floating.headerBadge) << "only an attached tray has a header";

    const TrayBody::Layout attached = layOut(content(3, TrayPosition::notch));
    ASSERT_TRUE(attached.compactThumbnail && attached.compactBadge && attached.headerBadge);
    EXPECT_DOUBLE_EQ(attached.compactThumbnail->left(), attached.compactFrame.left() + 10);
    EXPECT_DOUBLE_EQ(attached.compactBadge->right(), attached.compactFrame.right() - 10);
    EXPECT_DOUBLE_EQ(attached.headerBadge->right(), attached.expandedFrame.right() - 12);
    EXPECT_DOUBLE_EQ(attached.headerBadge->center().y(), 16) << "beside the notch";

    TrayBody::Content recording = content(3, TrayPosition::notch);
    recording.recording = true;
    const TrayBody::Layout row = layOut(recording);
    EXPECT_FALSE(row.compactThumbnail) << "the recording row takes the thumbnail's place";
    ASSERT_TRUE(row.compactRow);
    EXPECT_DOUBLE_EQ(row.compactRow->left(), row.compactFrame.left() + 12);

    const TrayBody::Layout empty = layOut(content(0));
    EXPECT_FALSE(empty.compactThumbnail || empty.compactBadge);
    EXPECT_TRUE(empty.buttons.isEmpty());
}

TEST(TrayBodyLayout, TheStripTakesWhatTheFixedPartsLeaveUpToItsContentAndItsLimit)
{
    // One large thumbnail and its padding.
    EXPECT_DOUBLE_EQ(layOut(content(1)).strip.width(), 84);
    // Eight captures would need 532.
    const TrayBody::Layout full = layOut(content(8));
    EXPECT_DOUBLE_EQ(full.strip.width(), 240);
    EXPECT_DOUBLE_EQ(full.info.left(), full.strip.right() + 14);
    ASSERT_EQ(full.buttons.size(), 7);
    EXPECT_DOUBLE_EQ(full.buttons.first().left(), full.info.right() + 14);
    EXPECT_DOUBLE_EQ(full.buttons[1].left(), full.buttons[0].right() + 8);
    EXPECT_DOUBLE_EQ(full.strip.left() - full.expandedFrame.left(),
                     full.expandedFrame.right() - full.buttons.last().right())
        << "the row is centred";

    // Too narrow for the fixed parts: the strip gives way entirely.
    TrayBody::Content narrow = content(8);
    narrow.expandedSize = QSizeF(400, 82);
    EXPECT_DOUBLE_EQ(layOut(narrow).strip.width(), 0);
}

TEST(TrayBodyLayout, TheInformationColumnCutsALongStatusAndTheRecordingTakesTheBody)
{
    TrayBody::Content failed = content(2);
    failed.status = TrayInformation::Status{QStringLiteral("Short.")};
    const TrayBody::Layout shortStatus = layOut(failed);
    EXPECT_EQ(shortStatus.statusLines, QStringList({"Short."}));
    EXPECT_FALSE(shortStatus.statusCut);
    EXPECT_GT(shortStatus.info.height(), layOut(content(2)).info.height());

    failed.status->text = QString("The capture could not be written to its folder. ").repeated(6);
    const TrayBody::Layout longStatus = layOut(failed);
    EXPECT_TRUE(longStatus.statusCut);
    EXPECT_EQ(longStatus.statusLines.size(), TrayInformation::statusLinesFitting(82));

    TrayBody::Content recording = content(2);
    recording.recording = true;
    const TrayBody::Layout row = layOut(recording);
    const QRectF body = row.expandedFrame;
    ASSERT_TRUE(row.expandedRow);
    EXPECT_DOUBLE_EQ(row.expandedRow->left(), body.left() + 36);
    EXPECT_DOUBLE_EQ(row.cancel.right(), body.right() - 24);
    EXPECT_DOUBLE_EQ(row.stop.right(), row.cancel.left() - 20);
    EXPECT_TRUE(row.buttons.isEmpty());
    EXPECT_TRUE(row.strip.isNull());
}
