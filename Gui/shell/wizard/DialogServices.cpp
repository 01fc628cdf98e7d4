#include "shell/wizard/DialogServices.h"

#include "dispatch/OnlineCheck.h"
#include "shell/integration/FileRegistry.h"
#include "shell/integration/InstalledEmailClientEnumerator.h"
#include "shell/wizard/MessageBoxAsker.h"

DialogServices DialogServices::Default() {
    DialogServices services;
    services.asker = std::make_shared<MessageBoxAsker>();
    services.openHelp = [](const QString&) {};
    services.mailPrograms = [] {
        using namespace EmailClientIntegration;
        return InstalledEmailClientEnumerator(std::make_shared<FileRegistry>()).Enumerate();
    };
    services.isComputerOnline = [] { return IsComputerOnline(); };
    return services;
}
