#pragma once

#include "database/HugeItemCollection.h"

namespace DatabaseLayer {

// Removes what a crash left in the letter store of the current data folder: letters that never
// reached a box (rows with collectionId -1, with their texts), temporary files, and texts that no
// letter row names. For start-up only, by the copy that holds the instance
// lock, once the database is open and before any thread stores a letter. When the database
// holds no letter at all, texts are kept (only temporary files go): a database made anew must
// not take the texts of a lost one with it. Throws Exception when the database cannot be read.
HugeItemCollection::Leftovers CleanLetterStore();

}  // namespace DatabaseLayer
