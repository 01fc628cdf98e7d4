#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/ControlFrame.h"

class EventReporter;
class LocalPopServer;
class MoxelCore;
class MoxelEventLogger;
class PopPostOffice;
class SessionEventLogger;

namespace platform {
class InstanceLock;
class ControlChannel;
}  // namespace platform

// The engine's start-up and shutdown, shared by the tray application and the headless service.
// Created, started and shut down on the application thread.
class Application {
public:
    enum class StartResult {
        Started,
        // Another copy runs; nothing was touched.
        AlreadyRunning,
    };

    // Carries out one command of the command line in the running copy, which collects with
    // the post office given. Called on a thread of the control socket that has called
    // InitializeThreadData; several may run at once.
    using CommandHandler = std::function<platform::ControlReply(const platform::ControlRequest&,
                                                                PopPostOffice& postOffice)>;

    // `commandLine` is the program's argument text ("-uninstall" or empty); `onQuitRequest` is
    // called (on a thread of its own) when a newer copy asks this one to quit; `onCommand`, when
    // given, answers the command line's requests (without it they are refused).
    Application(std::string commandLine, std::function<void()> onQuitRequest,
                CommandHandler onCommand = {});
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the start-up sequence. Throws Exception when a step fails; what was started before
    // the failure is stopped again by Shutdown or the destructor.
    StartResult Start();
    // Stops everything Start started, in reverse order. Safe to call more than once.
    void Shutdown();
    // For a program about to end at once (std::_Exit) while a worker of its own still uses the
    // database and the SMTP library: stops the engine's threads, the server and the loggers,
    // but leaves the per-thread data, the libraries and the instance lock to the process's end,
    // so that the worker never finds them gone and no second copy starts before this one ends.
    void StopBeforeAbandoningWorkers();

    bool IsUninstallMode() const { return uninstallMode; }

    // The program's event reporter; the two event loggers are registered with it while the
    // application runs (from Start until Shutdown).
    const std::shared_ptr<EventReporter>& GetEventReporter() const { return eventReporter; }

    // The post office and the core; null before Start and after Shutdown. For the command line
    // and the shell, on the application thread (the post office's collection API on any).
    PopPostOffice* GetPostOffice() const { return postOffice.get(); }
    const std::shared_ptr<MoxelCore>& GetCore() const { return core; }

    // The text shown when another copy already runs.
    static constexpr const char* kAlreadyRunningMessage =
        "Another instance of Moxel is already running.";

private:
    // The control channel, the local server and the post office, in that order.
    void StopEngine();
    bool TakeInstanceLock();
    void StartControlChannel();
    platform::ControlReply AnswerCommand(const platform::ControlRequest& request);
    // Builds the application and session loggers on the log folder and registers them.
    // Throws Exception when the log folder cannot be created.
    void StartLoggers();
    void StopLoggers();
    // Opens the post office named by "PopPostOfficeRowId", or makes a new one and stores its id
    // there when there is none (first start, or its row is gone).
    void OpenPostOffice();
    // Punches the TimeCard out and waits for the collection thread, then destroys the post
    // office and the core.
    void StopPostOffice();
    // Starts the local POP3 server on "PopPort"; a port it cannot listen on goes to the
    // application log, and the program runs on without it.
    void StartPopServer();

    std::string commandLine;
    bool uninstallMode;
    std::function<void()> onQuitRequest;
    CommandHandler onCommand;

    bool popLibraryInitialized = false;
    bool smtpLibraryInitialized = false;
    bool threadDataInitialized = false;
    std::unique_ptr<platform::InstanceLock> instanceLock;
    std::unique_ptr<platform::ControlChannel> controlChannel;
    std::shared_ptr<EventReporter> eventReporter;
    std::unique_ptr<MoxelEventLogger> applicationLogger;
    std::unique_ptr<SessionEventLogger> sessionLogger;
    std::unique_ptr<PopPostOffice> postOffice;
    std::shared_ptr<MoxelCore> core;
    std::unique_ptr<LocalPopServer> popServer;
};
