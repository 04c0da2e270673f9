#pragma once

#include <QFrame>

class QLabel;

// A message laid over the preview or the markup editor about something that went wrong out of
// the user's sight, with an OK button that takes it away. Hidden while it has no text.
class PreviewNotice final : public QFrame {
    Q_OBJECT

public:
    explicit PreviewNotice(QWidget *parent);

    void setText(const QString &text);
    QString text() const;
    // Places it across the top of its parent, below `top` points, now and whenever its text
    // changes.
    void place(int top);

signals:
    void dismissed();

private:
    QLabel *m_label = nullptr;
    int m_top = 0;
};
