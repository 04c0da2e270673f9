#pragma once

#include "preview/AnnotationModel.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QSizeF>
#include <QStringList>
#include <optional>

// What the markup editor holds while one capture is annotated: the committed
// marks and the redo stack, the tool, colour and width for the next mark, the
// drag in progress and the text-callout sheet. Drags arrive in the points of
// the drawing surface and are stored in the image's pixels. Main thread only.
class AnnotationEditorState final : public QObject {
    Q_OBJECT

public:
    static const QStringList colorPalette;

    AnnotationEditorState(QSizeF imagePixelSize, QObject *parent = nullptr);

    const QList<AnnotationItem> &annotations() const { return m_annotations; }
    const QList<AnnotationItem> &undoneAnnotations() const { return m_undoneAnnotations; }
    AnnotationTool selectedTool() const { return m_selectedTool; }
    void setSelectedTool(AnnotationTool tool);
    const QString &selectedColorHex() const { return m_selectedColorHex; }
    void setSelectedColorHex(const QString &hex);
    double selectedStrokeWidth() const { return m_selectedStrokeWidth; }
    // Kept within 1 to 16 in steps of 0.5, as the slider offers.
    void setSelectedStrokeWidth(double width);
    qint64 nextStepNumber() const { return m_nextStepNumber; }

    std::optional<QPointF> currentDragStart() const { return m_currentDragStart; }
    std::optional<QPointF> currentDragCurrent() const { return m_currentDragCurrent; }
    const QList<QPointF> &livePencilPoints() const { return m_livePencilPoints; }

    const QString &textInputPrompt() const { return m_textInputPrompt; }
    void setTextInputPrompt(const QString &text);
    bool showTextInputSheet() const { return m_showTextInputSheet; }
    void setShowTextInputSheet(bool show);
    std::optional<QPointF> pendingTextLocation() const { return m_pendingTextLocation; }

    void undo();
    void redo();
    void clearAll();
    void commitTextAnnotation();

    // The drag's start and current positions on a surface of the given size.
    void handleDragChanged(QPointF start, QPointF current);
    void handleDragEnded(QPointF start, QPointF end, QSizeF displaySize);
    // The mark the drag in progress would commit if it ended where it is now, in image pixels:
    // the canvas shows exactly that. Nothing while no drag is on, and for the text tool, whose
    // drag only places the callout.
    std::optional<AnnotationItem> dragPreview(QSizeF displaySize) const;

    // Display points to image pixels on a surface of the given size, each
    // axis on its own.
    QPointF toPixels(QPointF display, QSizeF displaySize) const;

signals:
    // Any change of what the editor shows but the drag in progress.
    void changed();
    // The drag in progress moved: only the mark being dragged is drawn anew.
    void dragChanged();

private:
    void addAnnotation(AnnotationItem item);
    AnnotationItem draftAnnotation(QPointF start, QPointF end, QSizeF displaySize) const;

    QSizeF m_imagePixelSize;
    QList<AnnotationItem> m_annotations;
    QList<AnnotationItem> m_undoneAnnotations;
    AnnotationTool m_selectedTool = AnnotationTool::arrow;
    QString m_selectedColorHex;
    double m_selectedStrokeWidth = 4.0;
    std::optional<QPointF> m_currentDragStart;
    std::optional<QPointF> m_currentDragCurrent;
    QList<QPointF> m_livePencilPoints;
    qint64 m_nextStepNumber = 1;
    QString m_textInputPrompt;
    bool m_showTextInputSheet = false;
    std::optional<QPointF> m_pendingTextLocation;
};
