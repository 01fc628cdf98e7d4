#pragma once

#include <QString>

class CMainFrame;
class MoxelCore;

// For reviewers: saves a picture of the tray menu, the fallback window, each balloon and each
// window the menu opens (both settings pages, the SMTP test, the protection wizard's first page,
// approved senders, held mail, help, about) into `folder` (PNG files), then asks the program to
// exit. Runs when MOXEL_SCREENSHOT_DIR is set. User-interface thread only.
void TakeScreenshots(CMainFrame& frame, MoxelCore& core, const QString& folder);
