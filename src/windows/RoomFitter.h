#pragma once

#include <QList>
#include <QObject>

class QBoxLayout;
class QGridLayout;
class QWidget;

// Lays a page's rows out for the room its container (a scroll area's viewport) gives it: a row
// of side-by-side columns turns into one column while the room is narrower than the row's least
// width, and a row of cards into rows of two while it is narrower than the cards' wished width. The
// page itself never gets narrower than its least width, so the container's width decides.
class RoomFitter final : public QObject {
public:
    // `margins` is what the page adds around its rows, left and right together.
    RoomFitter(QWidget *page, int margins);

    // Call once the row holds its items, laid out side by side.
    void addSideBySide(QBoxLayout *row);
    // The cards stand in the grid's first row, left to right.
    void addCards(QGridLayout *grid, QList<QWidget *> cards);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fitTo(int width);

    QWidget *m_page;
    int m_margins;
    QWidget *m_container = nullptr;
    QList<QBoxLayout *> m_rows;
    QList<int> m_rowWidths;
    QGridLayout *m_grid = nullptr;
    QList<QWidget *> m_cards;
    int m_cardsWidth = 0;
    bool m_narrowCards = false;
};
