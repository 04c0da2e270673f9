#pragma once

#include "model/CaptureItem.h"
#include "preview/AnnotationModel.h"

#include <QImage>
#include <QList>
#include <QWidget>
#include <functional>

class AnnotationCanvas;
class AnnotationEditorState;
class PlateButton;
class PreviewNotice;
class QLabel;
class QLineEdit;
class QSlider;
class SwatchButton;

// The markup editor over one capture: the toolbar (tools, palette, width, undo, redo, clear,
// Cancel, Done & Save), the drawing area and the text-callout sheet. What becomes of the saved
// image, and how the editor goes away, is its owner's business.
class AnnotationEditorView final : public QWidget {
    Q_OBJECT

public:
    using SaveCallback = std::function<void(const QImage &)>;

    // `decoded`: the capture's full image when the caller already holds it; otherwise the
    // editor shows the thumbnail while it reads the image off the main thread.
    AnnotationEditorView(const CaptureItem &item, SaveCallback onSave,
                         std::function<void()> onDismiss, QWidget *parent = nullptr,
                         const QImage &decoded = QImage());
    ~AnnotationEditorView() override;

    static constexpr QSize minimumEditorSize{880, 600};

    AnnotationEditorState &state() { return *m_state; }
    AnnotationCanvas &canvas() { return *m_canvas; }

    void undo();
    void redo();
    void clearAll();
    void commitTextAnnotation();
    // Flattens the marks into the capture's image off the main thread, then hands it to the
    // owner and asks to be dismissed. A second request while one runs is ignored, so a double
    // click writes the image back once.
    void saveAndDismiss();
    void cancel();

    bool isSaving() const { return m_saving; }
    // Whether closing the editor now would lose marks: some are drawn, or a save is running.
    bool hasUnsavedMarks() const;
    bool isTextSheetShown() const;
    QLineEdit *textField() const { return m_textField; }
    PreviewNotice *notice() const { return m_notice; }

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *makeToolbar();
    QWidget *makeTextSheet();
    void refresh();

    CaptureItem m_item;
    SaveCallback m_onSave;
    std::function<void()> m_onDismiss;
    AnnotationEditorState *m_state = nullptr;
    AnnotationCanvas *m_canvas = nullptr;
    QList<QPair<AnnotationTool, PlateButton *>> m_toolButtons;
    QList<SwatchButton *> m_swatches;
    QWidget *m_widthDot = nullptr;
    QSlider *m_widthSlider = nullptr;
    QLabel *m_widthLabel = nullptr;
    PlateButton *m_undoButton = nullptr;
    PlateButton *m_redoButton = nullptr;
    PlateButton *m_clearButton = nullptr;
    QWidget *m_sheet = nullptr;
    QLineEdit *m_textField = nullptr;
    PreviewNotice *m_notice = nullptr;
    bool m_saving = false;
};
