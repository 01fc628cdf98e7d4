#include "core/Application.h"

#include <boost/algorithm/string/predicate.hpp>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string_view>
#include <system_error>
#include <thread>

#include "core/DataFolderPrivacy.h"
#include "core/Directories.h"
#include "core/EventReporter.h"
#include "core/Exception.h"
#include "core/Format.h"
#include "core/MoxelCore.h"
#include "core/MoxelEventLogger.h"
#include "core/RealTimeClock.h"
#include "core/SessionEventLogger.h"
#include "core/ThreadData.h"
#include "database/AppPropertyCollection.h"
#include "database/LetterStoreCleanup.h"
#include "platform/ControlChannel.h"
#include "platform/InstanceLock.h"
#include "popserver/LocalPopServer.h"
#include "popwire.h"
#include "postoffice/PopPostOffice.h"
#include "smtpwire.h"

Application::Application(std::string commandLineIn, std::function<void()> onQuitRequestIn,
                         CommandHandler onCommandIn)
    : commandLine(std::move(commandLineIn)),
      uninstallMode(boost::iequals(commandLine, "-uninstall")),
      onQuitRequest(std::move(onQuitRequestIn)),
      onCommand(std::move(onCommandIn)),
      eventReporter(std::make_shared<EventReporter>()) {}

Application::~Application() {
    try {
        Shutdown();
    } catch (...) {
        // Destructors never throw; Shutdown reports its own failures to its caller first.
    }
}

Application::StartResult Application::Start() {
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    if (PopInitializeA(nullptr, nullptr) == 0) {
        throw Exception("Failed to initialize Tarnwell Wire Bench Library: POP");
    }
    popLibraryInitialized = true;
    if (SmtpInitializeA(nullptr, nullptr) == 0) {
        throw Exception("Failed to initialize Tarnwell Wire Bench Library: SMTP");
    }
    smtpLibraryInitialized = true;

    // The instance check comes before the database is touched: a second copy must not reset
    // the letter boxes that the running copy has open.
    if (!TakeInstanceLock()) {
        return StartResult::AlreadyRunning;
    }

    // Before the database opens: SQLite gives its journal files the database file's mode.
    const auto privacyNotes =
        MakeDataFolderPrivate(GetDataDirectory(), GetLogDirectory(), GetLetterStoreDirectory());

    InitializeThreadData();
    threadDataInitialized = true;
    // What a crash left in the letter store, cleared before any thread stores a letter.
    const auto leftovers = DatabaseLayer::CleanLetterStore();

    StartLoggers();
    for (const auto& note : privacyNotes) {
        applicationLogger->Write(note);
    }
    if (leftovers.temporaryFiles > 0 || leftovers.unnamedItems > 0 || leftovers.notRemoved > 0) {
        applicationLogger->Write(Format(
            "Letter store: removed %1% unfinished and %2% unused letter files left by an earlier "
            "run; %3% could not be removed",
            leftovers.temporaryFiles, leftovers.unnamedItems, leftovers.notRemoved));
    }

    OpenPostOffice();
    core = std::make_shared<MoxelCore>(*postOffice, eventReporter);

    StartControlChannel();

    StartPopServer();
    postOffice->StartCollecting(DatabaseLayer::GetAppProperties().GetWorkInterval());
    return StartResult::Started;
}

void Application::OpenPostOffice() {
    auto& properties = DatabaseLayer::GetAppProperties();
    const auto storedId = properties.GetPopPostOfficeRowId();
    if (storedId > 0) {
        try {
            postOffice = std::make_unique<PopPostOffice>(storedId);
            return;
        } catch (const Exception& error) {
            // Repaired below; the accounts of the lost post office cannot be found any more.
            applicationLogger->Write(
                Format("The post office %1% cannot be opened (%2%); a new "
                       "one is made",
                       storedId, error.GetDescription()));
        }
    }
    postOffice = std::make_unique<PopPostOffice>();
    postOffice->SetPersistent(true);
    properties.SetPopPostOfficeRowId(postOffice->GetId());
}

void Application::StopPostOffice() {
    if (!postOffice) {
        return;
    }
    if (!postOffice->Stop()) {
        if (applicationLogger) {
            applicationLogger->Write("The collection thread did not stop in time");
        }
    }
    core.reset();
    postOffice.reset();
}

void Application::StartControlChannel() {
    platform::ControlChannel::Handlers handlers;
    handlers.onQuit = onQuitRequest;
    handlers.onRequest = [this](const platform::ControlRequest& request) {
        return AnswerCommand(request);
    };
    // The logger outlives the channel: Shutdown stops the channel first.
    handlers.onRefused = [this](const std::string& note) { applicationLogger->Write(note); };
    try {
        controlChannel =
            std::make_unique<platform::ControlChannel>(GetControlSocketPath(), std::move(handlers));
    } catch (const std::system_error& error) {
        throw Exception("Cannot listen for quit requests and commands", Exception(error));
    }
}

platform::ControlReply Application::AnswerCommand(const platform::ControlRequest& request) {
    if (!onCommand) {
        return {1, "", "moxel: this copy of Moxel does not take commands\n"};
    }
    try {
        ThreadDataScope threadData;
        return onCommand(request, *postOffice);
    } catch (const std::exception& error) {
        // The handler answers its own failures; this is a database that could not be opened.
        return {1, "", std::string("moxel: ") + error.what() + "\n"};
    }
}

bool Application::TakeInstanceLock() {
    instanceLock = std::make_unique<platform::InstanceLock>(GetInstanceLockPath());
    try {
        if (!uninstallMode) {
            return instanceLock->TryAcquire();
        }
        // Ask the running copy to quit, then wait until it has let go of the lock.
        platform::ControlChannel::RequestQuit(GetControlSocketPath());
        while (!instanceLock->TryAcquire()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return true;
    } catch (const std::system_error& error) {
        throw Exception("Cannot check for another running copy of Moxel", Exception(error));
    }
}

void Application::StartLoggers() {
    const auto logDirectory = GetLogDirectory();
    applicationLogger =
        std::make_unique<MoxelEventLogger>(logDirectory, std::make_shared<RealTimeClock>());
    sessionLogger =
        std::make_unique<SessionEventLogger>(logDirectory, std::make_shared<RealTimeClock>());
    eventReporter->AddHandler(applicationLogger.get());
    eventReporter->AddHandler(sessionLogger.get());
}

void Application::StopLoggers() {
    // Removed before they are destroyed: the reporter does not own its handlers.
    if (sessionLogger) {
        eventReporter->RemoveHandler(sessionLogger.get());
        sessionLogger.reset();
    }
    if (applicationLogger) {
        eventReporter->RemoveHandler(applicationLogger.get());
        applicationLogger.reset();
    }
}

void Application::StopEngine() {
    // No new requests from outside while the engine stops. Commands in progress end before
    // the post office goes: a collection they wait for ends with the stop.
    if (controlChannel) {
        controlChannel->StopListening();
    }
    if (postOffice) {
        // StopPostOffice below stops again and reports a thread that did not end in time.
        postOffice->Stop();
    }
    controlChannel.reset();
    // The sessions work on the post office's accounts: they end before it goes.
    popServer.reset();
    StopPostOffice();
}

void Application::StopBeforeAbandoningWorkers() {
    StopEngine();
    StopLoggers();
}

void Application::Shutdown() {
    StopEngine();
    if (threadDataInitialized) {
        threadDataInitialized = false;
        ReleaseThreadData();
    }
    StopLoggers();
    if (popLibraryInitialized) {
        popLibraryInitialized = false;
        PopUninitialize();
    }
    if (smtpLibraryInitialized) {
        smtpLibraryInitialized = false;
        SmtpUninitialize();
    }
    instanceLock.reset();
}

void Application::StartPopServer() {
    MoxelEventLogger* logger = applicationLogger.get();
    popServer = std::make_unique<LocalPopServer>(
        *postOffice, eventReporter, [logger](const std::string& line) { logger->Write(line); });
    popServer->Start(static_cast<std::uint32_t>(DatabaseLayer::GetAppProperties().GetPopPort()));
}
