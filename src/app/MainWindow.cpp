#include "app/MainWindow.h"

#include <QLabel>

MainWindow::MainWindow(QWidget *page, QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QString::fromLatin1(title));
    resize(defaultWidth, defaultHeight);
    if (!page) {
        auto *plain = new QLabel(QString::fromLatin1(title), this);
        plain->setAlignment(Qt::AlignCenter);
        page = plain;
    }
    setCentralWidget(page);
}
