// Entry sequence: the application object and its title, the main window, the
// About box (hidden), then the message loop until the main window closes.
#include "app/About.h"
#include "app/Application.h"
#include "app/MainForm.h"
#include "app/MenuBarStyle.h"

#include <QTimer>

int main(int argc, char** argv) {
    app::TApplication application(argc, argv);
    // The application takes ownership of the style.
    QApplication::setStyle(
        new app::TMenuBarStyle); // NOLINT(clang-analyzer-cplusplus.NewDeleteLeaks)

    app::TForm1 form1;
    app::TAboutBox aboutBox;
    QObject::connect(&form1, &app::TForm1::AboutRequested, &aboutBox, &app::TAboutBox::ShowBox);
    // Closing the main window ends the program, whether or not the About box shows.
    QObject::connect(&form1, &app::TForm1::Closed, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    form1.showMaximized();

    // A results file named on the command line opens as if chosen in the dialog.
    if (argc > 1) {
        const QString path = QString::fromLocal8Bit(argv[1]);
        QTimer::singleShot(0, &form1, [&form1, path] {
            app::RunHandler([&form1, &path] { form1.OpenRecordFile(path); });
        });
    }
    return QApplication::exec();
}
