#pragma once

#include <string>
#include <vector>

// Carries out one command of the command line (`args` starts with its verb) and returns the
// exit status: in the running copy over its control socket when one runs, otherwise here, under
// the instance lock. Prints the output and at most one line of error.
int RunCommandLine(const std::vector<std::string>& args);

// The help lines of every command.
std::string CommandHelp();
