#pragma once

#include "windows/WindowServices.h"

#include <QWidget>

class QVBoxLayout;

// The Account tab: the account view, under an "Account" heading and inside a 32 px margin while
// someone is signed in. Without an account service the page stays empty.
class AccountPage : public QWidget {
    Q_OBJECT

public:
    explicit AccountPage(const WindowServices &services, QWidget *parent = nullptr);

    // Lays the page out again for the current sign-in state; the page calls it whenever
    // somebody signs in or out, and the window whenever it shows the tab.
    void refresh();
    bool showsHeading() const { return m_heading != nullptr && m_headingVisible; }
    QWidget *accountView() const { return m_accountView; }

private:
    WindowServices m_services;
    QVBoxLayout *m_layout = nullptr;
    QWidget *m_heading = nullptr;
    QWidget *m_accountView = nullptr;
    bool m_headingVisible = false;
};

// The About tab: logo, name, version and tagline, the three link tiles and the rights line.
class AboutPage : public QWidget {
    Q_OBJECT

public:
    struct Link {
        QString title;
        QString symbol;
        QString address;
    };
    // Left to right: the web site, the feedback mail and the privacy page.
    static const QList<Link> &links();
    // The rights line for a year, the year in plain digits.
    static QString rightsNotice(int year);

    explicit AboutPage(const WindowServices &services, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void openLink(const QString &address);

    WindowServices m_services;
    class QLabel *m_rights = nullptr;
};
