#pragma once

#include "core/Clock.h"
#include "postoffice/MailDeliveryPointsData.h"

// The daily digest of held mail: at most once in 24 hours, for every account that had letters
// held since the last digest, a letter to that account's own address, put straight into its
// inbox (never sent, never answered with a verification request), that lists those letters and
// says how to release them. Off when the setting "HeldMailDigest" is "false".
//
// Runs at the end of a collection run, on the collection thread. All digests of one day and the
// record of that day ("LastHeldMailDigest") are one transaction: when an inbox is busy, nothing
// is delivered and the next run tries again. Throws Exception on failure.
//
// Returns how many digests were delivered.
int DeliverHeldMailDigests(const Clock& clock, DatabaseLayer::MailDeliveryPointsData& points);
