#pragma once

#include "model/CaptureItem.h"
#include "model/SettingsEnums.h"
#include "tray/TrayInformation.h"

#include <QFont>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <optional>

// Where the tray view puts each part of its two bodies: the compact pill (the displayed capture
// or the recording row, and the count) and the expanded body (the header beside the notch, the
// strip, the information column and the action buttons, or the recording controls). A plain
// function of what the tray shows; the view places its widgets and paints by it.
namespace TrayBody {

constexpr double stripMaxWidth = 240;
constexpr double stripHeight = 60;
constexpr double stripPadding = 2;
constexpr double stripSpacing = 10;
constexpr double buttonSpacing = 8;
// The expanded recording row is drawn this many times its size about its centre.
constexpr double recordingScale = 1.2;

QFont badgeFont();
QFont elapsedFont(bool compact);

double lerp(double a, double b, double t);
QRectF lerp(const QRectF &a, const QRectF &b, double t);
QRectF centredAt(double x, double centreY, QSizeF size);

// What the tray shows, as the view read it from the queue, the settings, the tray's state and
// the recording.
struct Content {
    bool attached = false;
    bool recording = false;
    int count = 0;
    std::optional<CaptureItem> displayed;
    // The capture the strip shows large.
    std::optional<QUuid> largeID;
    QList<TrayButtonID> visibleButtons;
    TrayPosition position = TrayPosition::notch;
    QSizeF compactSize;
    QSizeF expandedSize;
    double notchHeight = 0;
    QString badgeText;
    QString nameText;
    QString sizeText;
    // What happened to the displayed capture: its failure or its notice.
    std::optional<TrayInformation::Status> status;
    QString elapsedText;
};

// View coordinates; a part the tray does not show now is absent.
struct Layout {
    QRectF compactFrame;
    QRectF expandedFrame;
    // The compact body.
    std::optional<QRectF> compactThumbnail;
    std::optional<QRectF> compactBadge;
    std::optional<QRectF> compactRow;
    // The expanded body.
    std::optional<QRectF> headerBadge;
    QRectF strip;
    QRectF info;
    QList<QRectF> buttons;
    std::optional<QRectF> expandedRow;
    QRectF stop;
    QRectF cancel;
    // The displayed capture's status as the column shows it, and whether words were cut off.
    QStringList statusLines;
    bool statusCut = false;
};

// The parts in a view `viewWidth` wide; the recording's stop and cancel buttons ask for
// `stopSize` and `cancelSize`.
Layout layout(const Content &content, double viewWidth, QSizeF stopSize, QSizeF cancelSize);

// The outline and its lower corners' radius at `progress` between the bodies (0 compact,
// 1 expanded).
QRectF outline(const Layout &layout, double progress);
double compactCornerRadius(const Content &content);
double expandedCornerRadius(const Content &content);
double cornerRadius(const Content &content, double progress);

} // namespace TrayBody
