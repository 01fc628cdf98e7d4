#pragma once

// Per-letter commits run with synchronous=NORMAL, so a power failure may undo the latest of them
// (never half a commit: the database stays whole). A letter's text is synced when it is written,
// before its row commits, so no row outlives its text; the folder entries of new texts and the
// commits are made durable here, right before the step that cannot be undone.

namespace DatabaseLayer {

// Puts the database (its write-ahead log and main file) and the data folder's entries on the
// disk: everything committed so far by any thread. Throws Exception "Error writing to file
// <path>".
void SyncDatabase();

// Puts the letter files written so far, their folders and then the database on the disk: the
// barrier before messages are deleted upstream. Throws like SyncDatabase and
// HugeItemCollection::SyncWrittenItems.
void MakeStoredMailDurable();

}  // namespace DatabaseLayer
