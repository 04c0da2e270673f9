#pragma once

#include <QString>
#include <optional>

// What the account view shows for a profile and which of its buttons work: plain decisions,
// kept apart from the widgets.
namespace accountPresentation {

inline constexpr const char *signUpPage = "https://corvanta.app/signup";
// The alert's text when "Forgot password?" or "Create account" finds no browser.
inline constexpr const char *signUpPageNotOpened =
    "No web browser could be opened to show the sign-up page. Set up a default web browser, then "
    "try again.";

// Two letters from the first two words of the name, one from a single word, and the
// product's first letter without a name; upper case.
QString initials(const std::optional<QString> &displayName);
QString nameLine(const std::optional<QString> &displayName);
// "Google Account Linked", "Email Account Linked" or "Apple ID Linked".
QString linkedAccountLine(const QString &appleUserID);

bool logInEnabled(bool signingIn, const QString &email, const QString &password);
// Dimmed while a field is empty; a running sign-in alone does not dim it.
double logInOpacity(const QString &email, const QString &password);

} // namespace accountPresentation
