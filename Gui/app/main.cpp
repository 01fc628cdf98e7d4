#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "app/ExitCodes.h"
#include "app/HeadlessService.h"
#include "app/commands/CommandTable.h"
#include "core/Identity.h"
#include "postoffice/PopPostOffice.h"
#include "shell/app/CGuiApp.h"

namespace {

constexpr const char* kUsage =
    "Usage: moxel [--headless] [-uninstall]\n"
    "       moxel COMMAND [ARGUMENTS]\n"
    "       moxel --version | --help\n"
    "\n"
    "  (no option)   start the tray application\n"
    "  --headless    run the mail engine without a display, until SIGINT or SIGTERM\n"
    "  -uninstall    ask a running copy to quit and take over in uninstall mode\n"
    "  --version     print the version\n"
    "\n"
    "Commands (carried out by the running copy when one runs):\n";

constexpr const char* kUsageEnd =
    "\n"
    "Exit status: 0 done, 1 failed, 2 bad usage.\n"
    "MOXEL_DATA_DIR, when set, names the folder that holds the database, letters and logs.\n";

std::string Usage() {
    return kUsage + CommandHelp() + kUsageEnd;
}

bool HasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (!args.empty() && FindCommand(args.front()) != nullptr) {
        return RunCommandLine(std::vector<std::string>(args.begin(), args.end()));
    }
    bool headless = false;
    std::string commandLine;
    for (const auto arg : args) {
        if (arg == "--version") {
            std::cout << Identity::kProductName << " " << Identity::GetVersion() << std::endl;
            return kExitOk;
        }
        if (arg == "--help" || arg == "-h") {
            std::cout << Usage();
            return kExitOk;
        }
        if (arg == "--headless") {
            headless = true;
        } else if (arg == "-uninstall" || arg == "--uninstall") {
            commandLine = "-uninstall";
        } else {
            std::cerr << "moxel: unknown option '" << arg << "'\n\n" << Usage();
            return kExitUsage;
        }
    }
    if (headless) {
        return RunHeadless(commandLine);
    }
    if (!HasDisplay()) {
        std::cerr << "moxel: no display is available for the tray application.\n"
                     "Run \"moxel --headless\" to run Moxel without a display.\n";
        return kExitUsage;
    }
    return RunTrayApplication(
        argc, argv, commandLine,
        [](const platform::ControlRequest& request, PopPostOffice& postOffice) {
            CommandContext context(&postOffice);
            return RunCommand(request, context);
        });
}
