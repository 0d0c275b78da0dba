// Entry point of Tovra Editor.
#include <QApplication>
#include <QIcon>
#include <unistd.h>

#include "app/command_line.h"
#include "app/mirova_app.h"
#include "app/settings.h"

int main(int argc, char* argv[]) {
    // The command line's verbs run without a window, before anything needs a display.
    if (tovra::IsCommandLineVerb(argc, argv)) return tovra::RunCommandLine(argc, argv);
    // Chromium refuses to start as root unless its sandbox is off.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovra Editor"));
    QApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    tovra::LocateProgram(QCoreApplication::applicationFilePath().toStdString());
    QApplication::setWindowIcon(
        QIcon(QString::fromStdString(tovra::Program().programFolder) + QStringLiteral("icons/tovra.svg")));

    tovra::CMirovaApp app;
    if (!app.InitInstance(QCoreApplication::arguments())) return app.ExitInstance(0);
    return app.ExitInstance(QApplication::exec());
}
