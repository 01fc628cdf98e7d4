#include "core/DataFolderPrivacy.h"

#include <cstdio>
#include <system_error>

#include "core/Format.h"
#include "core/PrivateFiles.h"

namespace fs = std::filesystem;

namespace {

std::string OctalMode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode));
    return text;
}

void Tighten(const fs::path& path, std::vector<std::string>& notes) {
    try {
        if (const auto oldMode = MakePrivate(path)) {
            notes.push_back(Format("%1% was open to other users (mode %2%); it is now private",
                                   path.string(), OctalMode(*oldMode)));
        }
    } catch (const std::system_error& error) {
        notes.push_back(
            Format("Cannot make %1% private: %2%", path.string(), error.code().message()));
    }
}

// The entries directly in `folder`, or none when it cannot be read.
std::vector<fs::path> Entries(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        entries.push_back(entry->path());
    }
    return entries;
}

}  // namespace

std::vector<std::string> MakeDataFolderPrivate(const fs::path& dataFolder,
                                               const fs::path& logFolder,
                                               const fs::path& letterFolder) {
    std::vector<std::string> notes;
    std::error_code error;
    CreatePrivateDirectories(letterFolder, error);
    if (error) {
        notes.push_back(Format("Cannot create the letter folder %1%: %2%", letterFolder.string(),
                               error.message()));
    }
    Tighten(dataFolder, notes);
    for (const auto& entry : Entries(dataFolder)) {
        Tighten(entry, notes);
    }
    for (const auto& entry : Entries(logFolder)) {
        Tighten(entry, notes);
    }
    return notes;
}
