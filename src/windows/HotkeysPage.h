#pragma once

#include "model/ShortcutModel.h"
#include "windows/AccentButton.h"
#include "windows/PageBlocks.h"
#include "windows/WindowServices.h"

#include <QAbstractButton>
#include <QWidget>

class QLabel;
class QVBoxLayout;
class RecordingIDBinding;
class ShortcutRecorderButton;

// One choice among the hot-key schemes: its label and, when chosen, a check mark, on a card
// tinted with the accent.
class SchemeRowButton : public AccentButton {
    Q_OBJECT

public:
    explicit SchemeRowButton(ShortcutScheme scheme, QWidget *parent = nullptr);
    ShortcutScheme scheme() const { return m_scheme; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int textFlags = Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap;
    // Where the label goes in a row of that rectangle, clear of the check mark.
    static QRect textRect(const QRect &row);

    ShortcutScheme m_scheme;
};

// Shows where a hot-key registration was refused; hidden while every key is registered. The
// windows register through WindowServices::registerHotkeys and report here what it says.
class HotkeyProblemLabel;
void registerHotkeysAndReport(const WindowServices &services, HotkeyProblemLabel *problem);
// Shows the program's hot-key problem now and after every registration, whoever asked for it.
void followHotkeyProblem(const WindowServices &services, HotkeyProblemLabel *problem);

// The Hotkeys page: the scheme rows, the four active mappings (recorders for the custom scheme)
// and a line that tells when the desktop refused a shortcut.
class HotkeysPage : public QWidget {
    Q_OBJECT

public:
    // The mapping rows: title, symbol, recorder id, and the custom shortcut's default.
    struct Mapping {
        QString title;
        QString symbol;
        QString id;
        ShortcutData reset;
        ShortcutData (SettingsStore::*get)() const;
        void (SettingsStore::*set)(const ShortcutData &);
    };
    static const QList<Mapping> &mappings();

    explicit HotkeysPage(const WindowServices &services, RecordingIDBinding *recordingID,
                         QWidget *parent = nullptr);

    // The recorders while the scheme is custom, in row order; empty otherwise.
    QList<ShortcutRecorderButton *> recorders() const { return m_recorders; }

private:
    void chooseScheme(ShortcutScheme scheme);
    void rebuildMappings();

    WindowServices m_services;
    RecordingIDBinding *m_recordingID;
    QVBoxLayout *m_mappingRows = nullptr;
    QList<ShortcutRecorderButton *> m_recorders;
    HotkeyProblemLabel *m_problem = nullptr;
};
