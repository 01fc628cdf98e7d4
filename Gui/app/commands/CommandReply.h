#pragma once

#include <sstream>
#include <string>

#include "platform/ControlFrame.h"

// What one command prints: its output, and on failure one line for standard error with the exit
// status (1 failed, 2 bad usage). Owned by the thread that runs the command.
class CommandReply {
public:
    std::ostringstream out;

    // The command failed; `line` says why. Output written so far is dropped: a failed command
    // prints nothing a script could take for a result.
    void Fail(const std::string& line) { Finish(1, line); }
    // The words do not form a command; `line` says what is wrong.
    void BadUsage(const std::string& line) { Finish(2, line); }
    bool Failed() const { return status != 0; }

    platform::ControlReply Take() const {
        return {status, status == 0 ? out.str() : std::string(), error};
    }

private:
    void Finish(int statusIn, const std::string& line) {
        status = statusIn;
        // One line, also for an error that carries its causes on lines of their own.
        std::string flat = line;
        for (auto& c : flat) {
            c = c == '\n' ? ' ' : c;
        }
        error = "moxel: " + flat + "\n";
    }

    int status = 0;
    std::string error;
};
