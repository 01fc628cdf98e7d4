#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <system_error>

// Owner-only modes for everything the program keeps for its user: the database holds every
// password and all the mail. Explicit modes at creation, so that the result does not depend on
// the umask the program was started with. Every function may be called from any thread.

inline constexpr mode_t kPrivateFolderMode = 0700;
inline constexpr mode_t kPrivateFileMode = 0600;

// Creates `folder` and its missing parents, each new one 0700; folders that exist are left as
// they are. Sets `error` at the first one that cannot be made (the caller checks the result).
void CreatePrivateDirectories(const std::filesystem::path& folder, std::error_code& error);

// Creates `file` as 0600 when it is missing; an existing file is left as it is, without being
// opened. Returns the reason when it cannot be created.
std::error_code CreatePrivateFile(const std::filesystem::path& file);

// Takes every permission of group and others off `path` (a folder becomes 0700); a symbolic
// link is not followed. Returns the mode it had when it was changed, nullopt when it was
// private already or does not exist. Throws std::system_error when the mode cannot be changed.
std::optional<mode_t> MakePrivate(const std::filesystem::path& path);
