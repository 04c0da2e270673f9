#pragma once

#include "model/ShortcutModel.h"

#include <QFrame>
#include <QString>
#include <QStringList>
#include <functional>

class QCheckBox;
class QComboBox;

// The recorder's small panel for picking modifiers and key by hand: four modifier boxes, the
// key and "Apply Key". It keeps the user's last choices for as long as it exists, also when it
// closes without applying them.
class ShortcutCustomPicker final : public QFrame {
public:
    // `onApply` receives the picked shortcut; `onHidden` learns of every closing (an outside
    // click, Escape, the apply button).
    ShortcutCustomPicker(std::function<void(const ShortcutData &)> onApply,
                         std::function<void()> onHidden, QWidget *parent);

    // Shows the last choices beside `anchor`, on its trailing side, kept on the screen.
    void showBeside(const QWidget &anchor);

    // The picker's keys: the digits 1-9 and 0, the letters, "Space", "F1" to "F12".
    static const QStringList &keys();
    // The picker's name-to-key-code table; a name it does not know gives 18 (the key 1).
    static quint32 keyCode(const QString &name);
    // What the picker saves: the ticked modifiers (control + option when none is ticked) and
    // the key, named as the picker names it.
    static ShortcutData shortcut(bool command, bool option, bool control, bool shift,
                                 const QString &keyName);

protected:
    void hideEvent(QHideEvent *event) override;

private:
    std::function<void(const ShortcutData &)> m_onApply;
    std::function<void()> m_onHidden;

    bool m_selectedCmd = false;
    bool m_selectedOpt = true;
    bool m_selectedCtrl = true;
    bool m_selectedShift = false;
    QString m_selectedKey = QStringLiteral("1");

    QCheckBox *m_cmdBox = nullptr;
    QCheckBox *m_optBox = nullptr;
    QCheckBox *m_ctrlBox = nullptr;
    QCheckBox *m_shiftBox = nullptr;
    QComboBox *m_keyBox = nullptr;
};
