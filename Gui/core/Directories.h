#pragma once

#include <filesystem>

// Where the program keeps its files. Every function may be called from any thread.

// The user's data folder: $MOXEL_DATA_DIR when set, else "$XDG_DATA_HOME/Ostrand/Moxel" (or
// "~/.local/share/Ostrand/Moxel"); created with its missing parents, private to the user (0700),
// when missing.
// Throws Exception "Internal error in GetDataDirectory()" (with the reason as its cause).
std::filesystem::path GetDataDirectory();

// The folder of the running executable. Throws Exception "Internal error in GetProgramDirectory()".
std::filesystem::path GetProgramDirectory();

// The program folder joined with "Help".
std::filesystem::path GetHelpDirectory();

// The data folder joined with "Logs" (not created here).
std::filesystem::path GetLogDirectory();

// The data folder joined with "moxel.db".
std::filesystem::path GetDatabasePath();

// The data folder joined with "letters": the root of the letter store (not created here).
std::filesystem::path GetLetterStoreDirectory();

// The single-instance lock and the socket through which a running copy is reached, both named
// after the application identifier. They lie in the data folder, not in a runtime folder: copies
// started from the desktop, over ssh or from cron see different runtime folders (or none) but
// share the database, so they must share the lock.
std::filesystem::path GetInstanceLockPath();
std::filesystem::path GetControlSocketPath();
