#include "preview/AnnotationEditorState.h"

#include <algorithm>
#include <cmath>

const QStringList AnnotationEditorState::colorPalette = {
    QStringLiteral("#FF3B30"), QStringLiteral("#FF9500"), QStringLiteral("#FFCC00"),
    QStringLiteral("#34C759"), QStringLiteral("#007AFF"), QStringLiteral("#AF52DE"),
    QStringLiteral("#FFFFFF"), QStringLiteral("#000000")};

AnnotationEditorState::AnnotationEditorState(QSizeF imagePixelSize, QObject *parent)
    : QObject(parent), m_imagePixelSize(imagePixelSize), m_selectedColorHex(colorPalette.first())
{
}

void AnnotationEditorState::setSelectedTool(AnnotationTool tool)
{
    m_selectedTool = tool;
    emit changed();
}

void AnnotationEditorState::setSelectedColorHex(const QString &hex)
{
    m_selectedColorHex = hex;
    emit changed();
}

void AnnotationEditorState::setSelectedStrokeWidth(double width)
{
    if (!std::isfinite(width))
        return;
    m_selectedStrokeWidth = std::clamp(std::round(width * 2) / 2, 1.0, 16.0);
    emit changed();
}

void AnnotationEditorState::setTextInputPrompt(const QString &text)
{
    m_textInputPrompt = text;
    emit changed();
}

void AnnotationEditorState::setShowTextInputSheet(bool show)
{
    m_showTextInputSheet = show;
    emit changed();
}

void AnnotationEditorState::addAnnotation(AnnotationItem item)
{
    m_annotations.append(std::move(item));
    m_undoneAnnotations.clear();
}

void AnnotationEditorState::undo()
{
    if (m_annotations.isEmpty())
        return;
    m_undoneAnnotations.append(m_annotations.takeLast());
    emit changed();
}

void AnnotationEditorState::redo()
{
    if (m_undoneAnnotations.isEmpty())
        return;
    m_annotations.append(m_undoneAnnotations.takeLast());
    emit changed();
}

void AnnotationEditorState::clearAll()
{
    m_undoneAnnotations = m_annotations;
    m_annotations.clear();
    m_nextStepNumber = 1;
    emit changed();
}

void AnnotationEditorState::commitTextAnnotation()
{
    if (m_pendingTextLocation) {
        AnnotationItem item;
        item.tool = AnnotationTool::text;
        item.startPoint = *m_pendingTextLocation;
        item.endPoint = *m_pendingTextLocation;
        item.colorHex = m_selectedColorHex;
        item.strokeWidth = m_selectedStrokeWidth;
        item.text = m_textInputPrompt.isEmpty() ? QStringLiteral("Annotation") : m_textInputPrompt;
        item.stepNumber = 1;
        addAnnotation(std::move(item));
    }
    m_showTextInputSheet = false;
    emit changed();
}

QPointF AnnotationEditorState::toPixels(QPointF display, QSizeF displaySize) const
{
    const double sx = m_imagePixelSize.width() / std::max(displaySize.width(), 1.0);
    const double sy = m_imagePixelSize.height() / std::max(displaySize.height(), 1.0);
    return QPointF(display.x() * sx, display.y() * sy);
}

void AnnotationEditorState::handleDragChanged(QPointF start, QPointF current)
{
    if (!m_currentDragStart) {
        m_currentDragStart = start;
        m_livePencilPoints = {start};
    }
    m_currentDragCurrent = current;
    m_livePencilPoints.append(current);
    emit dragChanged();
}

void AnnotationEditorState::handleDragEnded(QPointF start, QPointF end, QSizeF displaySize)
{
    // A drag that never moved left nothing behind: no drag state, no mark.
    if (m_currentDragStart) {
        if (m_selectedTool == AnnotationTool::text) {
            m_pendingTextLocation = toPixels(end, displaySize);
            m_textInputPrompt.clear();
            m_showTextInputSheet = true;
        } else {
            AnnotationItem item = draftAnnotation(start, end, displaySize);
            if (m_selectedTool == AnnotationTool::stepNumber)
                ++m_nextStepNumber;
            addAnnotation(std::move(item));
        }
    }
    m_currentDragStart.reset();
    m_currentDragCurrent.reset();
    m_livePencilPoints.clear();
    emit changed();
}

AnnotationItem AnnotationEditorState::draftAnnotation(QPointF start, QPointF end,
                                                      QSizeF displaySize) const
{
    AnnotationItem item;
    item.tool = m_selectedTool;
    item.startPoint = toPixels(start, displaySize);
    item.endPoint = toPixels(end, displaySize);
    item.colorHex = m_selectedColorHex;
    item.strokeWidth = m_selectedStrokeWidth;
    item.stepNumber = m_nextStepNumber;
    item.points.reserve(m_livePencilPoints.size());
    for (QPointF p : m_livePencilPoints)
        item.points.append(toPixels(p, displaySize));
    return item;
}

std::optional<AnnotationItem> AnnotationEditorState::dragPreview(QSizeF displaySize) const
{
    if (!m_currentDragStart || !m_currentDragCurrent || m_selectedTool == AnnotationTool::text)
        return std::nullopt;
    return draftAnnotation(*m_currentDragStart, *m_currentDragCurrent, displaySize);
}
