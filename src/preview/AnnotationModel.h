#pragma once

#include "model/StoredEnum.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QUuid>
#include <optional>

// The markup tools, in the order of the editor's tool buttons; the stored
// string is also the tool's display name.
enum class AnnotationTool { arrow, rectangle, blur, stepNumber, text, highlighter, pencil };

template <> struct StoredEnumStrings<AnnotationTool> {
    static constexpr std::array<const char *, 7> values{
        "Arrow", "Box", "Redact / Blur", "Step", "Text", "Highlight", "Pencil"};
};

// The symbol name that stands for the tool on its button.
QString systemIcon(AnnotationTool tool);

// One mark drawn over a capture. Every point is in the pixel space of the
// capture's full image, y growing downwards from the top edge.
struct AnnotationItem {
    QUuid id = QUuid::createUuid();
    AnnotationTool tool = AnnotationTool::arrow;
    QPointF startPoint;
    QPointF endPoint;
    QString colorHex;
    double strokeWidth = 4;
    QString text;
    qint64 stepNumber = 0;
    QList<QPointF> points;

    // Never smaller than one pixel either way, so a click without movement
    // still covers something.
    QRectF boundingBox() const;

    bool operator==(const AnnotationItem &) const = default;
};

// "#RRGGBB" or "#RRGGBBAA" (any number of '#', surrounding white space, an
// optional 0x); nothing for any other text.
std::optional<QColor> colorFromHex(const QString &hex);
