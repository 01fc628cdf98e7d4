#pragma once

#include "netframe/ErrorTable.h"

namespace popwire {

// The library's error texts; codes up to 26699 have none. Any thread.
const netframe::ErrorTable& ErrorTexts();

}  // namespace popwire
