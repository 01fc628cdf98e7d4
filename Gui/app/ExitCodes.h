#pragma once

// Exit codes of the moxel program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitStartFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitAlreadyRunning = 3;
