#pragma once

#include <chrono>
#include <cstdlib>
#include <thread>

#include "core/Exception.h"
#include "database/SqliteException.h"

namespace DatabaseLayer {

// Runs `operation` until it does not report SQLite's busy code, sleeping 0 to 99 ms between
// tries: together with the connection's one-minute busy timeout, a statement waits as long as
// another connection holds the write lock. Other database errors become Exception with the
// database message; an Exception passes unchanged; anything else becomes "Internal error".
template <typename Operation>
auto TranslateDatabaseError(Operation&& operation) -> decltype(operation()) {
    for (;;) {
        try {
            return operation();
        } catch (const SqliteException& error) {
            if (error.Code() != SQLITE_BUSY) {
                throw Exception(error.Message());
            }
        } catch (const Exception&) {
            throw;
        } catch (...) {
            throw Exception("Internal error");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::rand() % 100));
    }
}

}  // namespace DatabaseLayer
