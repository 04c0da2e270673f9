#include "windows/ShortcutRecorder.h"
#include "windows/ShortcutCustomPicker.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

// Delivers a key press as the platform does: the window's shortcuts get their chance first,
// then the press itself, carrying its key symbol.
void pressKey(QWidget *target, int key, Qt::KeyboardModifiers modifiers, quint32 keysym,
              const QString &text = {})
{
    if (qt_sendShortcutOverrideEvent(target, 0, key, modifiers, text))
        return;
    QKeyEvent press(QEvent::KeyPress, key, modifiers, 0, keysym, 0, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, 0, keysym, 0, text);
    QApplication::sendEvent(target, &release);
}

constexpr auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;

class ShortcutRecorderTest : public ::testing::Test {
protected:
    ShortcutRecorderTest()
    {
        auto *column = new QVBoxLayout(&page);
        field = new QLineEdit(&page);
        column->addWidget(field);
        for (const char *id : {"area", "window"}) {
            auto *recorder = new ShortcutRecorderButton(
                id, ShortcutData{19, CarbonModifier::control | CarbonModifier::option, "⌃⌥2"},
                &recordingID,
                [this, id](const ShortcutData &data) { saved << qMakePair(QString(id), data); },
                [this, id] { resets << id; }, &page);
            column->addWidget(recorder);
            recorders << recorder;
        }
        page.show();
    }
    ~ShortcutRecorderTest() override
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QAbstractButton *button(int recorder, const char *name) const
    {
        return recorders[recorder]->findChild<QAbstractButton *>(name);
    }
    void clickRecorder(int recorder)
    {
        QTest::mouseClick(button(recorder, "recorderButton"), Qt::LeftButton);
    }
    QString label(int recorder) const { return button(recorder, "recorderButton")->text(); }
    QFrame *picker(int recorder) const
    {
        return recorders[recorder]->findChild<QFrame *>("customPicker");
    }

    RecordingIDBinding recordingID;
    QWidget page;
    QLineEdit *field = nullptr;
    QList<ShortcutRecorderButton *> recorders;
    QList<QPair<QString, ShortcutData>> saved;
    QStringList resets;
};

TEST_F(ShortcutRecorderTest, RecordsTheFirstKeyWithAModifier)
{
    EXPECT_EQ(button(0, "recorderButton")->toolTip(),
              "Click then press any shortcut keys on your keyboard");
    clickRecorder(0);
    EXPECT_EQ(recordingID.recordingID(), "area");
    EXPECT_EQ(label(0), "Press keys...");
    EXPECT_EQ(button(0, "recorderButton")->toolTip(), "Click to cancel");

    // Without a modifier: ignored and kept from the window; modifier keys alone are no
    // key-downs of their own.
    pressKey(field, Qt::Key_K, Qt::NoModifier, 'k', "k");
    pressKey(field, Qt::Key_Control, Qt::ControlModifier, 0xffe3);
    EXPECT_TRUE(saved.isEmpty());
    EXPECT_TRUE(recorders[0]->isRecording());
    EXPECT_EQ(field->text(), "");

    pressKey(field, Qt::Key_K, ctrlAlt, 'k', "k");
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved[0], qMakePair(QString("area"), ShortcutData{40, 6144, "⌃⌥K"}));
    EXPECT_EQ(recordingID.recordingID(), "");
    EXPECT_EQ(label(0), "Ctrl+Alt+2");

    // The monitor is gone: keys reach the window again.
    pressKey(field, Qt::Key_K, Qt::NoModifier, 'k', "k");
    EXPECT_EQ(field->text(), "k");
}

TEST_F(ShortcutRecorderTest, EscapeASecondClickOrLeavingThePageCancel)
{
    clickRecorder(0);
    pressKey(field, Qt::Key_Escape, ctrlAlt, 0xff1b);
    EXPECT_FALSE(recorders[0]->isRecording());

    clickRecorder(0);
    clickRecorder(0);
    EXPECT_FALSE(recorders[0]->isRecording());

    clickRecorder(1);
    page.hide();
    EXPECT_EQ(recordingID.recordingID(), "");
    page.show();
    clickRecorder(1);
    delete recorders.takeLast();
    EXPECT_EQ(recordingID.recordingID(), "");

    pressKey(field, Qt::Key_K, ctrlAlt, 'k', "k");
    EXPECT_TRUE(saved.isEmpty());
}

TEST_F(ShortcutRecorderTest, WindowShortcutsDoNotFireWhileRecording)
{
    int fired = 0;
    QShortcut shortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_K), &page);
    QObject::connect(&shortcut, &QShortcut::activated, [&fired] { ++fired; });
    QApplication::setActiveWindow(&page);
    field->setFocus();

    clickRecorder(0);
    pressKey(field, Qt::Key_K, ctrlAlt, 'k', "k");
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(saved.size(), 1);
}

TEST_F(ShortcutRecorderTest, OnlyOneRecorderRecordsAndTheOtherNeverSaves)
{
    clickRecorder(0);
    clickRecorder(1);
    EXPECT_EQ(recordingID.recordingID(), "window");
    EXPECT_EQ(label(0), "Ctrl+Alt+2");
    EXPECT_EQ(label(1), "Press keys...");

    pressKey(field, Qt::Key_3, ctrlAlt, '3', "3");
    pressKey(field, Qt::Key_4, ctrlAlt, '4', "4");
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved[0], qMakePair(QString("window"), ShortcutData{20, 6144, "⌃⌥3"}));
}

TEST_F(ShortcutRecorderTest, PickerAndResetLeaveRecordingAlone)
{
    clickRecorder(0);
    QTest::mouseClick(button(0, "resetButton"), Qt::LeftButton);
    EXPECT_EQ(resets, QStringList({"area"}));

    QTest::mouseClick(button(0, "customizeButton"), Qt::LeftButton);
    QFrame *panel = picker(0);
    ASSERT_TRUE(panel && panel->isVisible());
    const auto boxes = panel->findChildren<QCheckBox *>();
    ASSERT_EQ(boxes.size(), 4);
    EXPECT_EQ(boxes[0]->text(), "Super");
    // Control + Option + 1 at first.
    EXPECT_EQ(QList<bool>({boxes[0]->isChecked(), boxes[1]->isChecked(), boxes[2]->isChecked(),
                           boxes[3]->isChecked()}),
              QList<bool>({false, true, true, false}));
    auto *key = panel->findChild<QComboBox *>();
    EXPECT_EQ(key->currentText(), "1");

    boxes[0]->setChecked(true);
    boxes[1]->setChecked(false);
    key->setCurrentText("F5");
    QTest::mouseClick(panel->findChild<QPushButton *>("applyKeyButton"), Qt::LeftButton);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved[0].second, (ShortcutData{96, 4352, "⌃⌘F5"}));
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(recorders[0]->isShowingCustomPicker());
    EXPECT_TRUE(recorders[0]->isRecording());

    // The last choices stay; closed by other means, the flag follows.
    QTest::mouseClick(button(0, "customizeButton"), Qt::LeftButton);
    EXPECT_TRUE(boxes[0]->isChecked());
    EXPECT_EQ(key->currentText(), "F5");
    panel->close();
    EXPECT_FALSE(recorders[0]->isShowingCustomPicker());
}

TEST(ShortcutRecorderPicker, CombinationsAndKeys)
{
    EXPECT_EQ(ShortcutCustomPicker::shortcut(false, false, false, false, "Space"),
              (ShortcutData{49, 6144, "⌃⌥Space"}));
    EXPECT_EQ(ShortcutCustomPicker::shortcut(true, false, false, true, "9"),
              (ShortcutData{25, 768, "⇧⌘9"}));

    const QStringList &keys = ShortcutCustomPicker::keys();
    ASSERT_EQ(keys.size(), 49);
    EXPECT_EQ(keys.mid(8, 3), QStringList({"9", "0", "A"}));
    EXPECT_EQ(keys.mid(35, 3), QStringList({"Z", "Space", "F1"}));
    for (const auto &[name, code] : {std::pair{"5", 23u},
                                     {"K", 40u},
                                     {"Space", 49u},
                                     {"F12", 111u},
                                     {"24", 18u},
                                     {"F13", 18u}})
        EXPECT_EQ(ShortcutCustomPicker::keyCode(name), code) << name;
}

} // namespace
