#pragma once

#include <sqlite3.h>

#include <memory>

namespace DatabaseLayer {

// An error reported by SQLite or found by the wrapper itself (code kWrapperError).
// Its text always reads "<code name>[<code>]: <SQLite's text>".
class SqliteException {
public:
    // The wrapper's own error code.
    static constexpr int kWrapperError = 1000;

    // `detail` may be null (an empty text is used).
    SqliteException(int code, const char* detail);
    SqliteException(const SqliteException& other);
    SqliteException& operator=(const SqliteException& other);
    virtual ~SqliteException();

    int Code() const { return code; }
    const char* Message() const { return message.get(); }

    // The symbolic name of a result code: "SQLITE_OK" ... "SQLITE_RANGE" for 0 to 25,
    // "SQLITE_ROW", "SQLITE_DONE", "DBLAYER_ERROR" for 1000, else "UNKNOWN_ERROR".
    static const char* CodeName(int code);

private:
    struct Free {
        void operator()(char* text) const { sqlite3_free(text); }
    };

    int code;
    std::unique_ptr<char, Free> message;
};

}  // namespace DatabaseLayer
