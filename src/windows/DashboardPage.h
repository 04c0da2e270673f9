#pragma once

#include "windows/AccentButton.h"
#include "windows/PageBlocks.h"
#include "windows/WindowServices.h"

#include <QAbstractButton>
#include <QList>
#include <QPushButton>
#include <QWidget>

class QBoxLayout;
class QLabel;
class QLayout;
class SettingsStore;
class SymbolView;

// One of the four capture cards: symbol disc, optional badge, title, subtitle and the scheme's
// shortcut, tinted with the accent when it is the stored capture mode.
class CaptureCardButton : public AccentButton {
    Q_OBJECT

public:
    struct Card {
        CaptureCard card;
        QString title;
        QString subtitle;
        QString symbol;
        QString badge;
    };
    CaptureCardButton(Card card, QWidget *parent = nullptr);

    const Card &card() const { return m_card; }
    void setShortcut(const QString &shortcut);
    QString shortcut() const { return m_shortcut; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The four cards, left to right.
    static const QList<Card> &cards();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Card m_card;
    QString m_shortcut;
};

// The Dashboard: capture cards that start captures, the capture options, the screenshot and
// recording choices and the storage choices.
class DashboardPage : public QWidget {
    Q_OBJECT

public:
    explicit DashboardPage(const WindowServices &services, QWidget *parent = nullptr);

    // The recording frame rates offered, in menu order.
    static const QList<int> &frameRates();
    // The storage limits offered, in menu order.
    static const QStringList &storageLimits();
    // The name stored for a chosen folder: its last path component, "/" for the root.
    static QString folderName(const QString &path);
    // Why a chosen folder cannot be used, empty when it can.
    static QString folderProblem(const QString &path);

private:
    // The image format and the recording choices, in two columns (noted in `sideBySide`).
    static QLayout *makeOutputSection(SettingsStore &store, QList<QBoxLayout *> &sideBySide);
    void startCaptureFromCard(CaptureCard card, const QString &title);
    void chooseSaveFolder();
    // The empty path is a cancel.
    void applyChosenFolder(const QString &path);

    WindowServices m_services;
    QLabel *m_folderProblem = nullptr;
};
