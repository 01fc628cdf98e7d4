#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "shell/integration/EmailClient.h"
#include "shell/wizard/Asker.h"

// What the settings dialog, the protection wizard and the removal dialog need from the rest of
// the program, so that the shell can wire them and tests can replace them. Copied into each
// dialog; used on the user-interface thread (isComputerOnline on the settings test's worker).
struct DialogServices {
    std::shared_ptr<Asker> asker;
    // Opens the help window at a topic ("generic-installation-get.htm").
    std::function<void(const QString& topic)> openHelp;
    // The mail programs the wizard offers and the removal searches.
    std::function<std::vector<EmailClientIntegration::EmailClientPtr>()> mailPrograms;
    // Tells a failed SMTP test with a working connection from one without; blocks.
    std::function<bool()> isComputerOnline;

    // Message boxes, no help window, the mail programs installed for this user (settings
    // store in the user's config folder) and the ICMP on-line check.
    static DialogServices Default();
};
