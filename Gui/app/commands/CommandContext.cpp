#include "app/commands/CommandContext.h"

#include "core/Exception.h"
#include "database/AppPropertyCollection.h"
#include "postoffice/PopPostOffice.h"

CommandContext::CommandContext(PopPostOffice* runningIn) : running(runningIn) {}

CommandContext::~CommandContext() = default;

PopPostOffice& CommandContext::GetPostOffice() {
    if (own) {
        return *own;
    }
    auto& properties = GetAppProperties();
    const auto storedId = properties.GetPopPostOfficeRowId();
    if (storedId > 0) {
        try {
            own = std::make_unique<PopPostOffice>(storedId);
            return *own;
        } catch (const Exception&) {
            if (running != nullptr) {
                throw;  // the running copy's own rows: never replaced from here
            }
            // Without a running copy, repaired as start-up repairs it.
        }
    }
    own = std::make_unique<PopPostOffice>();
    own->SetPersistent(true);
    properties.SetPopPostOfficeRowId(own->GetId());
    return *own;
}

PopPostOffice& CommandContext::GetCollectingPostOffice() {
    return running != nullptr ? *running : GetPostOffice();
}
