#include "shell/integration/FileRegistry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "core/Exception.h"
#include "core/PrivateFiles.h"
#include "shell/integration/AtomicFile.h"

namespace EmailClientIntegration {

namespace {

constexpr const char* kHeader = "MoxelRegistry 1";
constexpr const char* kEnd = "end";

std::string NormalizeKey(const std::string& keyPath) {
    const auto first = keyPath.find_first_not_of('\\');
    if (first == std::string::npos) {
        return {};
    }
    const auto last = keyPath.find_last_not_of('\\');
    return keyPath.substr(first, last - first + 1);
}

// Key paths are stored as they are, one per line.
bool IsWritableName(const std::string& keyPath, const std::string& valueName) {
    for (const char c : keyPath) {
        if (static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
    }
    return valueName.find('\0') == std::string::npos;
}

std::string Quote(const std::string& text) {
    static const char* hex = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7f) {
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 0xf];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Reads a quoted text at `pos` and moves past it; nullopt when it is not one.
std::optional<std::string> Unquote(const std::string& line, std::size_t& pos) {
    if (pos >= line.size() || line[pos] != '"') {
        return std::nullopt;
    }
    std::string out;
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++pos >= line.size()) {
            return std::nullopt;
        }
        if (line[pos] == '"' || line[pos] == '\\') {
            out += line[pos];
        } else if (line[pos] == 'x' && pos + 2 < line.size() && HexDigit(line[pos + 1]) >= 0 &&
                   HexDigit(line[pos + 2]) >= 0) {
            out += static_cast<char>(HexDigit(line[pos + 1]) * 16 + HexDigit(line[pos + 2]));
            pos += 2;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::string Serialize(const FileRegistry::Tree& tree) {
    std::string out = std::string(kHeader) + "\n";
    for (const auto& [key, values] : tree) {
        out += "[" + key + "]\n";
        for (const auto& [name, value] : values) {
            if (const auto* text = std::get_if<std::string>(&value)) {
                out += "text " + Quote(name) + " " + Quote(*text) + "\n";
            } else {
                out += "number " + Quote(name) + " " +
                       std::to_string(std::get<std::uint32_t>(value)) + "\n";
            }
        }
    }
    return out + kEnd + "\n";
}

// Adds the key and every key above it.
std::map<std::string, FileRegistry::Value>& MakeKey(FileRegistry::Tree& tree,
                                                    const std::string& key) {
    for (auto slash = key.find('\\'); slash != std::string::npos;
         slash = key.find('\\', slash + 1)) {
        tree[key.substr(0, slash)];
    }
    return tree[key];
}

// Parses one value line into `values`; false when it is not one.
bool ParseValue(const std::string& line, std::map<std::string, FileRegistry::Value>& values) {
    const bool isText = line.rfind("text ", 0) == 0;
    const bool isNumber = line.rfind("number ", 0) == 0;
    if (!isText && !isNumber) {
        return false;
    }
    std::size_t pos = isText ? 5 : 7;
    auto name = Unquote(line, pos);
    if (!name || pos >= line.size() || line[pos] != ' ') {
        return false;
    }
    ++pos;
    if (isText) {
        auto text = Unquote(line, pos);
        if (!text || pos != line.size()) {
            return false;
        }
        values[*name] = *text;
        return true;
    }
    std::uint32_t number = 0;
    const char* begin = line.data() + pos;
    const char* end = line.data() + line.size();
    const auto [stop, error] = std::from_chars(begin, end, number);
    if (error != std::errc() || stop != end || begin == end) {
        return false;
    }
    values[*name] = number;
    return true;
}

FileRegistry::Tree Parse(const std::string& content, const std::filesystem::path& file) {
    auto damaged = [&](std::size_t lineNumber, const std::string& what) {
        return Exception("The settings file " + file.string() + " is damaged (line " +
                         std::to_string(lineNumber) + ": " + what +
                         "). Moxel leaves it as it is; move it away to start with empty settings.");
    };
    FileRegistry::Tree tree;
    std::map<std::string, FileRegistry::Value>* current = nullptr;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < content.size()) {
        const auto newline = content.find('\n', start);
        if (newline == std::string::npos) {
            break;  // a last line without its line end: cut short
        }
        const std::string line = content.substr(start, newline - start);
        start = newline + 1;
        ++lineNumber;
        if (lineNumber == 1) {
            if (line != kHeader) {
                throw damaged(lineNumber, "not a Moxel settings file");
            }
        } else if (line == kEnd) {
            if (start != content.size()) {
                throw damaged(lineNumber + 1, "text after the end");
            }
            return tree;
        } else if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            current = &MakeKey(tree, NormalizeKey(line.substr(1, line.size() - 2)));
        } else if (current == nullptr || !ParseValue(line, *current)) {
            throw damaged(lineNumber, "unreadable entry");
        }
    }
    throw Exception("The settings file " + file.string() +
                    " is incomplete: it ends before its last line. Moxel leaves it as it is; "
                    "move it away to start with empty settings.");
}

// Holds an exclusive lock on the store's lock file while it lives.
class StoreLock {
public:
    explicit StoreLock(const std::filesystem::path& lockFile)
        : fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kPrivateFileMode)) {
        if (fd < 0) {
            throw Exception("Cannot open " + lockFile.string() + ": " + std::strerror(errno));
        }
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                const int error = errno;
                ::close(fd);
                throw Exception("Cannot lock " + lockFile.string() + ": " + std::strerror(error));
            }
        }
    }
    ~StoreLock() { ::close(fd); }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    int fd;
};

}  // namespace

std::filesystem::path FileRegistry::DefaultPath() {
    std::filesystem::path folder;
    if (const char* own = std::getenv("MOXEL_CONFIG_DIR"); own != nullptr && *own != '\0') {
        folder = own;
    } else if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
        folder = std::filesystem::path(xdg) / "Ostrand" / "Moxel";
    } else {
        const char* home = std::getenv("HOME");
        folder =
            std::filesystem::path(home != nullptr ? home : "") / ".config" / "Ostrand" / "Moxel";
    }
    return folder / "registry";
}

FileRegistry::FileRegistry(std::filesystem::path fileIn) : file(std::move(fileIn)) {}

std::optional<FileRegistry::Tree> FileRegistry::Load() {
    lastError.clear();
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
        if (error) {
            lastError = "Cannot read " + file.string() + ": " + error.message();
            return std::nullopt;
        }
        return Tree{};
    }
    try {
        return Parse(ReadWholeFile(file), file);
    } catch (const Exception& e) {
        lastError = e.GetDescription();
        return std::nullopt;
    }
}

template <typename Change>
bool FileRegistry::Modify(Change change) {
    try {
        std::error_code error;
        CreatePrivateDirectories(file.parent_path(), error);
        if (error) {
            throw Exception("Cannot create " + file.parent_path().string() + ": " +
                            error.message());
        }
        StoreLock lock(file.string() + ".lock");
        auto tree = Load();
        if (!tree) {
            return false;
        }
        change(*tree);
        WriteFileAtomically(file, Serialize(*tree), kPrivateFileMode);
        return true;
    } catch (const Exception& e) {
        lastError = e.GetDescription();
        return false;
    }
}

bool FileRegistry::GetSubKeyNames(const std::string& keyPath, std::vector<std::string>& names) {
    std::lock_guard guard(mutex);
    names.clear();
    const auto tree = Load();
    const std::string key = NormalizeKey(keyPath);
    if (!tree || (!key.empty() && tree->count(key) == 0)) {
        return false;
    }
    const std::string prefix = key.empty() ? "" : key + "\\";
    for (const auto& entry : *tree) {
        const std::string& path = entry.first;
        if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
            path.find('\\', prefix.size()) == std::string::npos) {
            names.push_back(path.substr(prefix.size()));
        }
    }
    return true;
}

bool FileRegistry::ValueExists(const std::string& keyPath, const std::string& valueName) {
    std::lock_guard guard(mutex);
    const auto tree = Load();
    if (!tree) {
        return false;
    }
    const auto key = tree->find(NormalizeKey(keyPath));
    return key != tree->end() && key->second.count(valueName) != 0;
}

std::string FileRegistry::GetTextValue(const std::string& keyPath, const std::string& valueName) {
    std::lock_guard guard(mutex);
    const auto tree = Load();
    if (!tree) {
        return {};
    }
    const auto key = tree->find(NormalizeKey(keyPath));
    if (key == tree->end()) {
        return {};
    }
    const auto value = key->second.find(valueName);
    if (value == key->second.end()) {
        return {};
    }
    if (const auto* text = std::get_if<std::string>(&value->second)) {
        return *text;
    }
    return std::to_string(std::get<std::uint32_t>(value->second));
}

bool FileRegistry::SetTextValue(const std::string& keyPath, const std::string& valueName,
                                const std::string& text) {
    std::lock_guard guard(mutex);
    // A stored text ends at its first zero byte; refuse rather than cut it.
    if (text.find('\0') != std::string::npos || !IsWritableName(keyPath, valueName)) {
        lastError = "A setting cannot hold a NUL byte, nor a key name a control character";
        return false;
    }
    return Modify([&](Tree& tree) { MakeKey(tree, NormalizeKey(keyPath))[valueName] = text; });
}

std::uint32_t FileRegistry::GetNumberValue(const std::string& keyPath,
                                           const std::string& valueName) {
    std::lock_guard guard(mutex);
    const auto tree = Load();
    if (!tree) {
        return 0;
    }
    const auto key = tree->find(NormalizeKey(keyPath));
    if (key == tree->end()) {
        return 0;
    }
    const auto value = key->second.find(valueName);
    if (value == key->second.end()) {
        return 0;
    }
    const auto* number = std::get_if<std::uint32_t>(&value->second);
    return number != nullptr ? *number : 0;
}

bool FileRegistry::SetNumberValue(const std::string& keyPath, const std::string& valueName,
                                  std::uint32_t number) {
    std::lock_guard guard(mutex);
    if (!IsWritableName(keyPath, valueName)) {
        lastError = "A setting cannot hold a NUL byte, nor a key name a control character";
        return false;
    }
    return Modify([&](Tree& tree) { MakeKey(tree, NormalizeKey(keyPath))[valueName] = number; });
}

bool FileRegistry::DeleteValue(const std::string& keyPath, const std::string& valueName) {
    std::lock_guard guard(mutex);
    return Modify([&](Tree& tree) {
        const auto key = tree.find(NormalizeKey(keyPath));
        if (key != tree.end()) {
            key->second.erase(valueName);
        }
    });
}

std::string FileRegistry::GetLastError() const {
    std::lock_guard guard(mutex);
    return lastError;
}

}  // namespace EmailClientIntegration
