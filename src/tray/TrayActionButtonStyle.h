#pragma once

#include "symbols/Symbols.h"

#include <QFont>
#include <QWidget>

// The tray's type: sizes in points as the tray is laid out (logical pixels), in the system font
// or its fixed-width companion.
QFont trayFont(int pixelSize, QFont::Weight weight, bool monospaced = false);

// A control of one of the tray's bodies. A body fades in and out as a whole, so each of its
// controls draws at the body's opacity.
template <typename Base> class TrayBodyControl : public Base {
public:
    using Base::Base;

    void setContentOpacity(double opacity)
    {
        if (opacity == m_contentOpacity)
            return;
        m_contentOpacity = opacity;
        this->update();
    }
    double contentOpacity() const { return m_contentOpacity; }

private:
    double m_contentOpacity = 1;
};
