#pragma once

#include <QPalette>
#include <QTextDocument>
#include <QTextEdit>
#include <cmath>
#include <memory>

namespace platform {

// A text of an alert shown as it is, for a text with a run that has nowhere to break: Qt's labels
// wrap between words only. It wraps between words where it can and anywhere else, is read-only,
// as tall as its lines at the width it is given, and keeps the text whole for whoever selects
// and copies it or reads it aloud. It looks like the box's own labels, with a frame while it has
// the keyboard. Defined in the header: only the targets that show windows link Qt Widgets.
class AlertTextView final : public QTextEdit {
public:
    AlertTextView(const QString &text, QWidget *box) : QTextEdit(box)
    {
        setPlainText(text);
        setReadOnly(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setTabChangesFocus(true);
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        document()->setDocumentMargin(0);
        const QPalette &colors = box->palette();
        setStyleSheet(QStringLiteral("QTextEdit { background: %1; color: %2;"
                                     " border: 1px solid transparent; }"
                                     "QTextEdit:focus { border-color: %3; }")
                          .arg(colors.color(QPalette::Window).name(),
                               colors.color(QPalette::WindowText).name(),
                               colors.color(QPalette::Highlight).name()));
        QSizePolicy policy(QSizePolicy::Minimum, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override
    {
        ensurePolished();
        const int frame = 2 * frameWidth();
        const std::unique_ptr<QTextDocument> lines(document()->clone());
        lines->setDefaultFont(font());
        lines->setTextWidth(width - frame);
        return int(std::ceil(lines->size().height())) + frame;
    }
    QSize sizeHint() const override { return {minimumWidth(), heightForWidth(minimumWidth())}; }
    QSize minimumSizeHint() const override
    {
        ensurePolished();
        return {minimumWidth(), fontMetrics().height() + 2 * frameWidth()};
    }
};

} // namespace platform
