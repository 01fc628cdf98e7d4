#pragma once

#include <QUrl>
#include <chrono>
#include <functional>

#include "shell/update/UpdateWorker.h"

// What the frame takes from the world, replaceable so that the frame can be tried without a
// network, a tray host or a file browser. The defaults are the real ones.
struct FrameOptions {
    // The on-line check; may block for minutes, runs on a thread of its own.
    std::function<bool()> isComputerOnline;
    // Opens a folder in the system's file browser.
    std::function<void(const QUrl&)> openUrl;
    // Whether a system tray exists now.
    std::function<bool()> isTrayAvailable;
    // One fetch of the update answer.
    UpdateWorker::Fetch fetchUpdate;
    std::chrono::milliseconds updateRetryWait = UpdateWorker::kRetryWait;

    // The real ones: IsComputerOnline, QDesktopServices, QSystemTrayIcon and the update service.
    static FrameOptions Defaults();
};
