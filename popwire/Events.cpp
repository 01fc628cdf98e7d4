#include "popwire/Events.h"

#include "netframe/LastError.h"
#include "platform/windows/MessageWindows.h"

namespace popwire {

void DeliverEvent(PopClient& client, std::uint32_t event, std::uint32_t error) {
    // PopFreezeEvents holds every event back.
    if (client.frozen) {
        return;
    }
    const netframe::LastErrorKeeper keepError;
    if (const POPEVENTPROC callback = client.callbacks.CallbackFor(event)) {
        callback(client.handle, event, error, client.callbacks.ParameterFor(event));
    }
    if (client.eventWindow) {
        // Another thread's event window that nobody serves must not hold this thread for ever.
        const std::uint32_t seconds = client.timeout != 0 ? client.timeout : kDefaultTimeout;
        platform::SendMessageTimeout(
            client.eventWindow, client.eventMessage, static_cast<std::uintptr_t>(client.handle),
            netframe::MakeEventParameter(event, error), std::chrono::seconds(seconds));
    }
}

bool FailWithEvent(PopClient& client, std::uint32_t error, std::uint32_t event) {
    netframe::SetLastErrorCode(error);
    DeliverEvent(client, event, error);
    return false;
}

}  // namespace popwire
