#pragma once

#include <chrono>

#include "pingwire/EchoPacket.h"
#include "pingwire/Target.h"

namespace pingwire {

// Sends one echo request with `id` to `target` and waits for its reply, never past `timeout`
// from the call's start (foreign packets that arrive meanwhile use up that time too). Returns
// the round trip in whole milliseconds, or -1 with the calling thread's last error set
// (kErrorSocket, kErrorSend, kErrorTimeout, kErrorReceive). Any thread.
int EchoOnce(const Target& target, std::chrono::milliseconds timeout, EchoId id);

}  // namespace pingwire
