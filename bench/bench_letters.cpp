// Prints how fast the letter store, the header parser and letters are: items created, written
// and read per second as the store grows, megabytes of headers parsed per second, and letters
// stored and read per second through the database. Run by bench/run; figures only, no verdicts.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchDataFolder.h"
#include "core/ThreadData.h"
#include "database/ExtractAddress.h"
#include "database/HugeItemCollection.h"
#include "database/LetterBoxData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/MessageText.h"
#include "database/Transaction.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string SampleMessage(int i) {
    std::string text = "Return-Path: <sender" + std::to_string(i) + "@example.org>\r\n";
    text += "Received: from mx.example.org\r\n\tby mx.example.com; Fri, 11 Mar 2005 13:36:46\r\n";
    text += "From: \"Sender, Number " + std::to_string(i) + "\" <Sender" + std::to_string(i) +
            "@Example.ORG>\r\n";
    text += "To: Someone <someone@example.com>\r\nSubject: Message number " + std::to_string(i) +
            "\r\n folded onto a second line\r\nMIME-Version: 1.0\r\n\r\n";
    for (int line = 0; line < 60; ++line) {
        text += "A line of body text, about sixty characters long, number " + std::to_string(line) +
                "\r\n";
    }
    return text;
}

void BenchStore(const fs::path& root) {
    HugeItemCollection store(root);
    const std::string text(4096, 'x');
    int total = 0;
    for (const int batch : {1000, 4000, 5000, 10000}) {
        std::vector<std::string> handles;
        auto start = Clock::now();
        for (int i = 0; i < batch; ++i) {
            handles.push_back(store.CreateItem());
            store.WriteItem(handles.back(), text);
        }
        const double created = SecondsSince(start);
        start = Clock::now();
        std::size_t bytes = 0;
        for (const auto& handle : handles) {
            bytes += store.ReadItem(handle).size();
        }
        const double read = SecondsSince(start);
        total += batch;
        std::printf(
            "store: %6d items so far: create+write %8.0f items/s, read %8.0f items/s (%zu bytes)\n",
            total, batch / created, batch / read, bytes);
    }
}

void BenchParser() {
    std::vector<std::string> messages;
    std::size_t bytes = 0;
    for (int i = 0; i < 2000; ++i) {
        messages.push_back(RemoveCarriageReturns(SampleMessage(i)));
        bytes += messages.back().size();
    }
    const auto start = Clock::now();
    std::size_t found = 0;
    for (int round = 0; round < 10; ++round) {
        for (const auto& message : messages) {
            const HeaderMap headers = ParseHeaders(message);
            found += ExtractAddress(HeaderValue(headers, "From")).size();
        }
    }
    const double seconds = SecondsSince(start);
    std::printf("parser: %.1f MB of messages/s (%.0f messages/s, checksum %zu)\n",
                10.0 * bytes / seconds / 1e6, 10.0 * messages.size() / seconds, found);
}

void BenchLetters() {
    InitializeThreadData();
    DatabaseLayer::LetterBoxData box;
    constexpr int kLetters = 1000;
    auto start = Clock::now();
    {
        LetterBoxLock lock(box);
        for (int i = 0; i < kLetters; ++i) {
            DatabaseLayer::Transaction transaction;
            Letter letter;
            letter.StoreText(SampleMessage(i));
            box.MoveLetterHere(letter);
        }
    }
    const double stored = SecondsSince(start);
    start = Clock::now();
    std::size_t bytes = 0;
    {
        LetterBoxLock lock(box);
        for (const auto id : box.GetLetterIds()) {
            bytes += box.GetLetter(id)->GetSize();
        }
    }
    const double read = SecondsSince(start);
    std::printf(
        "letters: store %6.0f letters/s, read through the box %6.0f letters/s (%zu bytes)\n",
        kLetters / stored, kLetters / read, bytes);
    box.SetPersistent(false);
}

}  // namespace

int main() {
    const BenchDataFolder folder;
    BenchStore(folder.Path() / "store");
    BenchParser();
    BenchLetters();
    ReleaseThreadData();
    return 0;
}
