#include "database/SqliteException.h"

#include <array>
#include <new>

namespace DatabaseLayer {

namespace {

char* CopyText(const char* text) {
    char* copy = sqlite3_mprintf("%s", text);
    if (copy == nullptr) {
        throw std::bad_alloc();
    }
    return copy;
}

}  // namespace

SqliteException::SqliteException(int codeIn, const char* detail) : code(codeIn) {
    char* text =
        sqlite3_mprintf("%s[%d]: %s", CodeName(codeIn), codeIn, detail != nullptr ? detail : "");
    if (text == nullptr) {
        throw std::bad_alloc();
    }
    message.reset(text);
}

SqliteException::SqliteException(const SqliteException& other)
    : code(other.code), message(CopyText(other.message.get())) {}

SqliteException& SqliteException::operator=(const SqliteException& other) {
    if (this != &other) {
        message.reset(CopyText(other.message.get()));
        code = other.code;
    }
    return *this;
}

SqliteException::~SqliteException() = default;

const char* SqliteException::CodeName(int code) {
    static constexpr std::array<const char*, 26> kNames = {
        "SQLITE_OK",       "SQLITE_ERROR",     "SQLITE_INTERNAL", "SQLITE_PERM",
        "SQLITE_ABORT",    "SQLITE_BUSY",      "SQLITE_LOCKED",   "SQLITE_NOMEM",
        "SQLITE_READONLY", "SQLITE_INTERRUPT", "SQLITE_IOERR",    "SQLITE_CORRUPT",
        "SQLITE_NOTFOUND", "SQLITE_FULL",      "SQLITE_CANTOPEN", "SQLITE_PROTOCOL",
        "SQLITE_EMPTY",    "SQLITE_SCHEMA",    "SQLITE_TOOBIG",   "SQLITE_CONSTRAINT",
        "SQLITE_MISMATCH", "SQLITE_MISUSE",    "SQLITE_NOLFS",    "SQLITE_AUTH",
        "SQLITE_FORMAT",   "SQLITE_RANGE"};
    if (code >= 0 && code < static_cast<int>(kNames.size())) {
        return kNames[static_cast<std::size_t>(code)];
    }
    switch (code) {
        case SQLITE_ROW:
            return "SQLITE_ROW";
        case SQLITE_DONE:
            return "SQLITE_DONE";
        case kWrapperError:
            return "DBLAYER_ERROR";
        default:
            return "UNKNOWN_ERROR";
    }
}

}  // namespace DatabaseLayer
