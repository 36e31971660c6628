#pragma once

#include <QString>

#include <optional>
#include <string>

class QWidget;

namespace ostrel::app {

// What the operator answered when the server asked for a password.
struct PasswordAnswer {
    std::string password;
    bool keep = false; // keep it in the user's password file
};

// Asks for the password of who ("guichet1 sur server.example"), modally; nothing when the
// operator cancelled or gave none.
std::optional<PasswordAnswer> AskPassword(QWidget* parent, const QString& who);

} // namespace ostrel::app
