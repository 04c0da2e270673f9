#include "preview/AnnotationModel.h"

#include <gtest/gtest.h>

namespace {

void expectColor(const QString &text, int r, int g, int b, int a)
{
    const std::optional<QColor> color = colorFromHex(text);
    ASSERT_TRUE(color.has_value()) << qPrintable(text);
    EXPECT_EQ(color->red(), r) << qPrintable(text);
    EXPECT_EQ(color->green(), g) << qPrintable(text);
    EXPECT_EQ(color->blue(), b) << qPrintable(text);
    EXPECT_EQ(color->alpha(), a) << qPrintable(text);
}

} // namespace

TEST(ColorFromHex, ReadsSixAndEightDigitsInAnySpelling)
{
    for (const char *text : {"#FF3B30", "FF3B30", "#ff3b30", "  #FF3B30\n", "##FF3B30"})
        expectColor(QString::fromLatin1(text), 255, 59, 48, 255);
    expectColor(QStringLiteral("#FF3B3080"), 255, 59, 48, 128);
    // Six characters, but the scanner stops at the G: the digits read so far
    // are taken as the colour.
    expectColor(QStringLiteral("#12345G"), 1, 0x23, 0x45, 255);
}

TEST(ColorFromHex, RefusesOtherLengthsAndNonDigits)
{
    for (const char *text : {"#FFF", "", "#", "#GGGGGG", "#FF3B3", "#FF3B30801", "red"})
        EXPECT_FALSE(colorFromHex(QString::fromLatin1(text)).has_value()) << text;
}

TEST(AnnotationItem, BoundingBoxFromEndsOrFromThePath)
{
    AnnotationItem item;
    item.startPoint = QPointF(50, 40);
    item.endPoint = QPointF(10, 60);
    EXPECT_EQ(item.boundingBox(), QRectF(10, 40, 40, 20));

    item.endPoint = item.startPoint;
    EXPECT_EQ(item.boundingBox(), QRectF(50, 40, 1, 1)) << "a click still covers a pixel";

    item.points = {QPointF(5, 5)};
    EXPECT_EQ(item.boundingBox(), QRectF(50, 40, 1, 1)) << "one point falls back to the ends";

    // A drag that wandered outside the rectangle of its ends covers the whole path.
    item.startPoint = QPointF(20, 20);
    item.endPoint = QPointF(30, 30);
    item.points = {QPointF(20, 20), QPointF(90, 5), QPointF(30, 30)};
    EXPECT_EQ(item.boundingBox(), QRectF(20, 5, 70, 25));
}

TEST(AnnotationItem, ToolsAndIdentity)
{
    const QList<AnnotationTool> tools = allCases<AnnotationTool>();
    ASSERT_EQ(tools.size(), 7);
    EXPECT_EQ(rawValue(tools.at(2)), QStringLiteral("Redact / Blur"));
    EXPECT_EQ(enumFromRawValue<AnnotationTool>(QStringLiteral("Redact / Blur")),
              AnnotationTool::blur);
    for (const char *text : {"Blur", "box", "Rectangle"})
        EXPECT_FALSE(enumFromRawValue<AnnotationTool>(QString::fromLatin1(text))) << text;
    EXPECT_EQ(systemIcon(AnnotationTool::stepNumber), QStringLiteral("number.circle.fill"));

    AnnotationItem a;
    AnnotationItem b = a;
    EXPECT_EQ(a, b);
    b.id = QUuid::createUuid();
    EXPECT_NE(a, b) << "equal fields with another id are another annotation";
}
