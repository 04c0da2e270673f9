#pragma once

#include <QAbstractButton>
#include <QString>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

// Widgets are found as a screen reader finds them: by their accessible name.
template <typename T> T *namedWidget(QWidget *root, const QString &name)
{
    const QList<T *> all = root->findChildren<T *>();
    for (T *widget : all) {
        if (widget->accessibleName() == name)
            return widget;
    }
    return nullptr;
}

inline void clickButton(QAbstractButton *button)
{
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}
