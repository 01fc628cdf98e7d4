#include "support/SqliteFile.h"

#include <sqlite3.h>

#include <memory>
#include <stdexcept>

namespace moxeltest {

namespace {

using Connection = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;

Connection Open(const std::filesystem::path& database) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const std::string reason = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + database.string() + ": " + reason);
    }
    sqlite3_busy_timeout(db, 10000);
    return Connection(db, &sqlite3_close);
}

std::vector<std::string> Column(const std::filesystem::path& database, const std::string& sql) {
    std::vector<std::string> values;
    for (auto& row : QueryRows(database, sql)) {
        values.push_back(row.empty() ? std::string() : std::move(row.front()));
    }
    return values;
}

}  // namespace

std::vector<std::vector<std::string>> QueryRows(const std::filesystem::path& database,
                                                const std::string& sql) {
    auto db = Open(database);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        throw std::runtime_error(sqlite3_errmsg(db.get()));
    }
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(raw, &sqlite3_finalize);
    std::vector<std::vector<std::string>> rows;
    int result = 0;
    while ((result = sqlite3_step(raw)) == SQLITE_ROW) {
        auto& row = rows.emplace_back();
        for (int column = 0; column < sqlite3_column_count(raw); ++column) {
            const auto* text = sqlite3_column_text(raw, column);
            row.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
        }
    }
    if (result != SQLITE_DONE) {
        throw std::runtime_error(sqlite3_errmsg(db.get()));
    }
    return rows;
}

std::vector<std::string> TableNames(const std::filesystem::path& database) {
    return Column(database, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid;");
}

void ExecuteOn(const std::filesystem::path& database, const std::string& sql) {
    auto db = Open(database);
    char* error = nullptr;
    if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string reason = error != nullptr ? error : "unknown";
        sqlite3_free(error);
        throw std::runtime_error(reason);
    }
}

std::string QueryText(const std::filesystem::path& database, const std::string& sql) {
    const auto values = Column(database, sql);
    return values.empty() ? std::string() : values.front();
}

}  // namespace moxeltest
