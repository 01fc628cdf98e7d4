#pragma once

#include <memory>

#include "database/SenderList.h"

// The approved senders of the application's post office, opened on the calling thread.
// Throws Exception when the data folder has no post office yet.
std::unique_ptr<SenderList> OpenApprovedSenders();
