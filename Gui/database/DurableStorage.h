#pragma once

// Per-letter commits run with synchronous=NORMAL and letter files are written without a sync
// each, so a power failure may undo the latest of them (never half a commit: the database stays
// whole). Their order on the disk is not fixed either: a row may outlive the text it names when
// the power goes between the two. What must survive a power failure is made durable here, right
// before the step that cannot be undone.

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
