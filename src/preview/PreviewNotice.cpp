#include "preview/PreviewNotice.h"

#include "preview/PreviewControls.h"

#include <QHBoxLayout>
#include <QLabel>

PreviewNotice::PreviewNotice(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("previewNotice"));
    setStyleSheet(
        QStringLiteral("#previewNotice { background: rgb(58, 44, 20); border-radius: 8px; "
                       "border: 1px solid rgba(255, 214, 10, 110); }"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(14, 8, 8, 8);
    row->setSpacing(12);
    m_label = new QLabel;
    m_label->setWordWrap(true);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setFont(previewFont(12, QFont::Medium));
    m_label->setStyleSheet(QStringLiteral("color: white;"));
    row->addWidget(m_label, 1);
    PlateButton::Look look;
    look.title = QStringLiteral("OK");
    look.titleSize = 12;
    look.titleWeight = QFont::DemiBold;
    look.plate = QColor(255, 255, 255, 38);
    auto *ok = new PlateButton(look);
    connect(ok, &QAbstractButton::clicked, this, &PreviewNotice::dismissed);
    row->addWidget(ok, 0, Qt::AlignVCenter);
    hide();
}

void PreviewNotice::setText(const QString &text)
{
    m_label->setText(text);
    setVisible(!text.isEmpty());
    if (!text.isEmpty()) {
        place(m_top);
        raise();
    }
}

QString PreviewNotice::text() const
{
    return m_label->text();
}

void PreviewNotice::place(int top)
{
    m_top = top;
    const QWidget *owner = parentWidget();
    if (!owner)
        return;
    const int width = std::min(owner->width() - 32, 560);
    const int height = heightForWidth(width) > 0 ? heightForWidth(width) : sizeHint().height();
    setGeometry((owner->width() - width) / 2, top, width, height);
}
