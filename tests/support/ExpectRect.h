#pragma once

#include <QRectF>
#include <gtest/gtest.h>

// Exact comparison of every edge (Qt's rectangle comparison is fuzzy).
inline void expectRect(const QRectF &actual, double x, double y, double w, double h)
{
    EXPECT_DOUBLE_EQ(actual.x(), x);
    EXPECT_DOUBLE_EQ(actual.y(), y);
    EXPECT_DOUBLE_EQ(actual.width(), w);
    EXPECT_DOUBLE_EQ(actual.height(), h);
}
