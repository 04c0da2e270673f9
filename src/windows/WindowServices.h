#pragma once

#include <QString>
#include <QUrl>
#include <functional>

class PermissionManager;
class QObject;
class QWidget;
class SettingsStore;

// The four captures a Dashboard card starts.
enum class CaptureCard { fullScreen, area, window, recording };

// What the main window and the settings window need from the rest of the program. The
// application shell fills it in; a window uses what is there and leaves out what is not.
struct WindowServices {
    SettingsStore *settings = nullptr;
    // Absent: the General tab shows the permission as not granted and its refresh does nothing.
    PermissionManager *permissionManager = nullptr;
    // Starts the card's capture and returns at once.
    std::function<void(CaptureCard)> startCapture;
    // Registers the global hot keys again from the stored settings; the text is the reason a
    // registration was refused, empty when every key was taken.
    std::function<QString()> registerHotkeys;
    // Closes the pin deck and every floating pin.
    std::function<void()> closeAllPins;
    // Makes the account view the Account page hosts; absent until there is an account service.
    std::function<QWidget *()> makeAccountView;
    // Whether a user is signed in; absent means nobody is.
    std::function<bool()> isSignedIn;
    // Runs the function, while the context lives, each time somebody signs in or out. Absent:
    // nobody ever does.
    std::function<void(QObject *context, std::function<void()>)> whenSignedInChanged;
    // Runs the function, while the context lives, once the start-up read of the stored session
    // has finished (at once when it has). Absent: there is no stored session to wait for.
    std::function<void(QObject *context, std::function<void()>)> whenSessionRestored;
    // What the desktop said when the hot keys were last registered (empty: every key was
    // taken). Absent: nothing was refused.
    std::function<QString()> hotkeyProblem;
    // Runs the function, while the context lives, each time that text changes, whoever
    // registered the keys (start-up, wake, any window). Absent: it never does.
    std::function<void(QObject *context, std::function<void()>)> whenHotkeyProblemChanged;
    // Whether the staging tray found a hardware notch; absent means no tray.
    std::function<bool()> hasNotch;
    // Asks the user for a folder and waits for the answer; the empty text is a cancel. Absent: a
    // folder dialog that does not block.
    std::function<QString()> chooseFolder;
    // Hands an address to the desktop. Absent: the desktop services.
    std::function<void(const QUrl &)> openUrl;
};
