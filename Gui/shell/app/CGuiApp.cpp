#include "shell/app/CGuiApp.h"

#include <QApplication>
#include <QMessageBox>
#include <chrono>
#include <cstdlib>
#include <iostream>

#include "app/ExitCodes.h"
#include "core/Exception.h"
#include "core/MoxelCore.h"
#include "shell/app/CMainFrame.h"
#include "shell/app/DialogWindows.h"
#include "shell/app/QuitSignals.h"
#include "shell/app/ScreenshotTour.h"
#include "shell/dialogs/settings/SettingsTestRun.h"
#include "shell/resources/ResourceIcons.h"

namespace {

// How long Exit waits for an SMTP settings test still running, and what it says when it stops
// waiting.
constexpr std::chrono::seconds kSettingsTestLimit{3};
constexpr const char* kSettingsTestAbandoned =
    "The SMTP settings test was still running at exit; it was left unfinished.";

// A newer copy's quit request arrives on a thread of the control channel.
void QuitLater() {
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}

// Starts the program, runs the event loop until Exit and shuts the program down; returns the
// exit code. Needs the QApplication.
int RunUntilExit(const std::string& commandLine, Application::CommandHandler onCommand) {
    DialogWindows windows;
    int exitCode = kExitOk;
    try {
        CGuiApp app(commandLine, std::move(onCommand), FrameOptions::Defaults());
        if (app.Start(windows) == Application::StartResult::AlreadyRunning) {
            std::cerr << Application::kAlreadyRunningMessage << std::endl;
            QMessageBox::information(nullptr, QStringLiteral("Moxel"),
                                     QString::fromUtf8(Application::kAlreadyRunningMessage));
            return kExitAlreadyRunning;
        }
        windows.Attach(*app.GetApplication().GetCore());
        if (const QString folder = qEnvironmentVariable("MOXEL_SCREENSHOT_DIR");
            !folder.isEmpty() && app.GetFrame() != nullptr) {
            TakeScreenshots(*app.GetFrame(), *app.GetApplication().GetCore(), folder);
        }
        if (app.ShouldRun()) {
            QApplication::exec();
        }
        windows.CloseAll();
        if (!SettingsTestRun::WaitForAll(kSettingsTestLimit)) {
            // Its SMTP calls end only at their own time-outs. Every letter's state is its own
            // transaction, so ending now loses nothing; what the worker still uses stays until
            // the process ends, and its thread is never joined by the statics' destructors.
            std::cerr << kSettingsTestAbandoned << std::endl;
            app.GetApplication().GetCore()->GetEventReporter()->ErrorOccurred(
                kSettingsTestAbandoned);
            app.StopBeforeAbandoningWorkers();
            std::cerr.flush();
            std::_Exit(kExitOk);
        }
        app.Shutdown();
    } catch (const Exception& error) {
        windows.CloseAll();
        std::cerr << "Moxel could not start: " << error.GetDescription() << std::endl;
        QMessageBox::critical(nullptr, QStringLiteral("Moxel"),
                              QStringLiteral("Moxel could not start: %1")
                                  .arg(QString::fromStdString(error.GetDescription())));
        exitCode = kExitStartFailed;
    }
    return exitCode;
}

}  // namespace

CGuiApp::CGuiApp(std::string commandLine, Application::CommandHandler onCommand,
                 FrameOptions optionsIn)
    : application(std::move(commandLine), QuitLater, std::move(onCommand)),
      options(std::move(optionsIn)) {}

CGuiApp::~CGuiApp() {
    Shutdown();
}

Application::StartResult CGuiApp::Start(ShellWindows& windows) {
    const Application::StartResult result = application.Start();
    if (result == Application::StartResult::AlreadyRunning) {
        return result;
    }
    frame = std::make_unique<CMainFrame>(*application.GetCore(), windows, options);
    QObject::connect(frame.get(), &CMainFrame::ExitRequested, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    shouldRun = frame->ShowStartupTips(application.IsUninstallMode());
    return result;
}

void CGuiApp::StopFrame() {
    if (frame) {
        frame->Stop();
        frame.reset();
    }
}

void CGuiApp::Shutdown() {
    StopFrame();
    application.Shutdown();
}

void CGuiApp::StopBeforeAbandoningWorkers() {
    StopFrame();
    application.StopBeforeAbandoningWorkers();
}

int RunTrayApplication(int argc, char** argv, const std::string& commandLine,
                       Application::CommandHandler onCommand) {
    // Before any thread starts, so that only the waiter receives the signals.
    QuitSignals quitSignals;
    QApplication qtApplication(argc, argv);
    LoadShellResources();
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Moxel"));
    quitSignals.Start(QuitLater);

    const int exitCode = RunUntilExit(commandLine, std::move(onCommand));
    // Before the QApplication goes, which a late signal would ask to quit.
    quitSignals.Stop();
    return exitCode;
}
