#pragma once

#include <QMainWindow>

// The main window, titled "Corvanta" (no other window of the program carries that title: the
// capture coordinator finds it by it). It starts hidden; its pages come with the main window's
// views, until then it shows the page it is given (the account), else a plain one.
class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    static constexpr const char *title = "Corvanta";
    static constexpr int defaultWidth = 980;
    static constexpr int defaultHeight = 640;

    explicit MainWindow(QWidget *page = nullptr, QWidget *parent = nullptr);
};
