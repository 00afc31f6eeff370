// The application object: its title and the top-level handler that shows an
// exception escaping a command instead of ending the program.
#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>
#include <string>

namespace app {

// The application title: the caption of the program's message boxes.
inline const char* const kApplicationTitle = "Vilcor";

// The text the top-level handler shows for an exception message: a "." is
// appended when the message is not empty and its last character sorts after
// "." (a plain byte comparison).
std::string ComposeErrorMessage(const std::string& message);

// Shows `error` the way the top-level handler does: nothing for an EAbort,
// otherwise a message box with the error icon, an OK button and the caption
// "Vilcor".
void ShowException(const std::exception_ptr& error);

// Runs a command handler; an exception escaping it goes to ShowException, so
// that it never unwinds through the window system's own code.
void RunHandler(const std::function<void()>& handler);

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    // Catches what escapes an event handler and shows it; the loop goes on.
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace app
