#include "PinTestSupport.h"

#include "model/SettingsStore.h"
#include "model/UserDefaults.h"
#include "pins/PinWindowController.h"
#include "support/FakeLoginItem.h"
#include "windows/PinSettingsPage.h"
#include "windows/WindowServices.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QStringList labelTexts(const QWidget *root)
{
    QStringList texts;
    for (const QLabel *label : root->findChildren<QLabel *>())
        texts << label->text();
    return texts;
}

} // namespace

// One hand-edited file of odd pin numbers, read by the store, a floating pin and the pin settings
// page: each number means the same to all three.
TEST(PinSettingsReadersTest, TheStoreAPinAndThePageAgreeOnAnOddFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("c.conf"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(CORVANTA_FIXTURES_DIR "/OddPinSettings.conf"), path));
    UserDefaults defaults(path);
    FakeLoginItem loginItem;
    SettingsStore store(defaults, loginItem);

    // The store's read rules.
    EXPECT_EQ(store.pinSize(), 1e9) << "no upper bound when read";
    EXPECT_EQ(store.pinDefaultOpacity(), 7.0);
    EXPECT_EQ(store.pinPadding(), 20.0);
    EXPECT_EQ(store.pinBorderWidth(), 1.0);
    EXPECT_EQ(store.pinCornerRadius(), 0.0) << "NaN is no number: a fresh install's value";
    EXPECT_EQ(store.pinAutoCloseDelay(), 0.0);

    // A floating pin: as wide as the picture up to the largest pin, fully opaque, 20 points from
    // the corner, never closing by itself.
    PinModel model;
    PinWindowServices services;
    services.displays = model.displays;
    services.panels = model.panels;
    services.actions = model.services().actions;
    services.earlierHeights = [](const PinWindowController *) { return QList<double>(); };
    PinWindowController pin(
        std::make_shared<const PinItem>(PinContent::makeImage(solidImage(6000, 300, Qt::red))),
        store, [](PinWindowController *) {}, services);
    EXPECT_EQ(pin.displaySize().width(), 4000.0);
    EXPECT_EQ(pin.opacity(), 1.0);
    const QRectF frame = pin.frame(model.displays->mainDisplay(), 1.0);
    EXPECT_EQ(875 - frame.bottom(), 20.0) << "top right, padded";
    pin.show();
    EXPECT_FALSE(pin.isAutoClosePending());

    // The page shows the numbers the pin uses.
    WindowServices windowServices;
    windowServices.settings = &store;
    PinSettingsPage page(windowServices);
    const QStringList texts = labelTexts(&page);
    for (const char *shown : {"4000px", "4000 pt max", "100%", "20 pt", "1 pt", "0 pt", "Never"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(shown)))
            << shown << " in " << texts.join(QStringLiteral(" | ")).toStdString();
}
