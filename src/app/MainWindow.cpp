#include "app/MainWindow.h"

#include <QLabel>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QString::fromLatin1(title));
    resize(defaultWidth, defaultHeight);
    auto *page = new QLabel(QString::fromLatin1(title), this);
    page->setAlignment(Qt::AlignCenter);
    setCentralWidget(page);
}
