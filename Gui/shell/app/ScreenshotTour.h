#pragma once

#include <QString>

class CMainFrame;

// For reviewers: saves a picture of the tray menu, the fallback window and each balloon into
// `folder` (PNG files), then asks the program to exit. Runs when MOXEL_SCREENSHOT_DIR is set.
// User-interface thread only.
void TakeScreenshots(CMainFrame& frame, const QString& folder);
