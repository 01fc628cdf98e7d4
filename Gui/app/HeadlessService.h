#pragma once

#include <string>

// Runs the engine without a display until SIGINT or SIGTERM, or until a newer copy asks it to
// quit, then shuts it down. Returns the process exit code. Runs on the main thread.
int RunHeadless(const std::string& commandLine);
