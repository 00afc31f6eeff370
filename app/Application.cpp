#include "app/Application.h"

#include "platform/Exceptions.h"

#include <QFont>
#include <QMessageBox>

namespace app {

std::string ComposeErrorMessage(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

void ShowException(const std::exception_ptr& error) {
    std::string message;
    try {
        std::rethrow_exception(error);
    } catch (const platform::EAbort&) {
        return;
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "Unknown exception";
    }
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle),
                    QString::fromStdString(ComposeErrorMessage(message)), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void RunHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        ShowException(std::current_exception());
    }
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The title names the application; it is not appended to window captions.
    setApplicationName(QString::fromUtf8(kApplicationTitle));
    // The windows ask for the classic dialog font by name; Linux has no such
    // font, and the default fallback is too wide for the fixed-size labels.
    // Liberation Sans has Arial's metrics, the closest match.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}

} // namespace app
