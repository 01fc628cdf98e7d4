#pragma once

#include <string>
#include <vector>

// Whether this computer reaches the internet: true as soon as one of six large public web
// hosts answers an ICMP echo (tried in a fixed order, up to five echoes of three seconds each),
// false when none does. A host that cannot be resolved or opened counts as not answering.
// Throws Exception when the ICMP library cannot be initialised. Blocks while it tries; any
// thread.
bool IsComputerOnline();

// The same check over `hosts`, tried in their order.
bool IsComputerOnline(const std::vector<std::string>& hosts);
