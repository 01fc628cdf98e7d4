#pragma once

#include <QString>
#include <atomic>
#include <optional>
#include <string>

// Fetches the update answer from `address` with the query "?rev=<buildNumber>", over HTTPS only,
// with the agent name "Ostrand Network" and no cache. Returns the answer, or nothing when the
// address is not https, the fetch failed, took longer than 60 seconds, was stopped, or the answer
// is longer than kMaxAnswerBytes (each failure is logged). Trusts the certificates of
// QSslConfiguration::defaultConfiguration(). Runs on the calling thread with an event loop of its
// own; a QCoreApplication must exist.
std::optional<std::string> FetchUpdateAnswer(const QString& address, int buildNumber,
                                             const std::atomic<bool>& stopRequested);

constexpr qint64 kMaxAnswerBytes = 4096;
