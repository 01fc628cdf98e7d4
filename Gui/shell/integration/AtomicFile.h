#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace EmailClientIntegration {

// Replaces `file` with `content` so that a reader sees either the old or the new file, never a
// part of one: a temporary file beside it, flushed to the disk, then renamed over it, then the
// folder flushed. The new file gets `mode`. Throws Exception naming the file and the reason; the
// old file is then unchanged and no temporary file is left. Any thread; callers serialise writes
// to the same file.
void WriteFileAtomically(const std::filesystem::path& file, const std::string& content,
                         mode_t mode);

// The whole file as bytes. Throws Exception naming the file and the reason.
std::string ReadWholeFile(const std::filesystem::path& file);

}  // namespace EmailClientIntegration
