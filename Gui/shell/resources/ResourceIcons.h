#pragma once

#include <QIcon>
#include <QString>

// The shell's icons by resource number: the file ":/moxel/icons/<number>.png" (drawn by
// packaging/icons/draw_icons.cpp). Balloon mark-up names them by these numbers.
inline constexpr int kIconTray = 130;
inline constexpr int kIconWarning = 151;
inline constexpr int kIconInformation = 157;
inline constexpr int kIconBullet = 160;
inline constexpr int kIconClose = 161;

// The resource path of icon `idres`: ":/moxel/icons/<idres>.png".
QString ResourceIconPath(int idres);
// The icon `idres`; a null icon when there is no such resource. GUI thread.
QIcon ResourceIcon(int idres);
// Registers the shell's compiled-in resources (icons and help pages). The shell is a static
// library, so nothing would pull its resource objects into a program otherwise; every user of
// them calls this first. Safe to call often, from any thread.
void LoadShellResources();
