#pragma once

#include "netframe/ErrorTable.h"

namespace sockwire {

// The library's error texts; codes 9999 and below have none.
const netframe::ErrorTable& ErrorTexts();

}  // namespace sockwire
