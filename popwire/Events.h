#pragma once

#include <cstdint>

#include "popwire/PopClient.h"

namespace popwire {

// Delivers one event of `client`: first its registered callback, then the event message to its
// event window. Runs on the owner thread, inside the operation that raised the event; the
// thread's last error is the same afterwards, whatever the handlers do.
void DeliverEvent(PopClient& client, std::uint32_t event, std::uint32_t error);

// Stores `error` as the last error, delivers `event` with it and returns false.
bool FailWithEvent(PopClient& client, std::uint32_t error, std::uint32_t event);

}  // namespace popwire
