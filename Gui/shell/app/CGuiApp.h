#pragma once

#include <memory>
#include <string>

#include "core/Application.h"
#include "shell/app/FrameOptions.h"

class CMainFrame;
class ShellWindows;

// The tray application: the engine of Application with the hidden main frame on top. Created,
// started and shut down on the user-interface thread, after the QApplication.
class CGuiApp {
public:
    // `commandLine` is "-uninstall" or empty; `onCommand` answers the command line's requests
    // sent by other copies.
    CGuiApp(std::string commandLine, Application::CommandHandler onCommand, FrameOptions options);
    // Shutdown, if not done yet.
    ~CGuiApp();
    CGuiApp(const CGuiApp&) = delete;
    CGuiApp& operator=(const CGuiApp&) = delete;

    // Starts the engine, then the frame with its tray icon and the start-up tips. With
    // AlreadyRunning nothing was started. Throws Exception when the engine cannot start.
    Application::StartResult Start(ShellWindows& windows);
    // False when the program should end right after start-up ("-uninstall" with no accounts).
    bool ShouldRun() const { return shouldRun; }
    // The exit order: the frame stops (update worker, reporter, tray icon), then the engine.
    // Safe to call more than once.
    void Shutdown();
    // The exit order for a program that ends at once afterwards while a worker of its own still
    // runs (see Application::StopBeforeAbandoningWorkers).
    void StopBeforeAbandoningWorkers();

    CMainFrame* GetFrame() const { return frame.get(); }
    Application& GetApplication() { return application; }

private:
    void StopFrame();
    Application application;
    FrameOptions options;
    std::unique_ptr<CMainFrame> frame;
    bool shouldRun = true;
};

// `moxel` with a display: runs the tray application until Exit, SIGINT or SIGTERM, or until a
// newer copy asks it to quit. Returns the process exit code. Runs on the main thread.
int RunTrayApplication(int argc, char** argv, const std::string& commandLine,
                       Application::CommandHandler onCommand);
