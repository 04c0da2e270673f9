#include "tray/TrayActionButtonStyle.h"

#include <QFontDatabase>

QFont trayFont(int pixelSize, QFont::Weight weight, bool monospaced)
{
    QFont font = monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}
