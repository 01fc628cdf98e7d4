// Prints how fast a dispatch run sends verification letters to a real SMTP server (aiosmtpd on
// loopback, saving every message), beside Python's smtplib sending the same letters to a fresh
// server of the same kind over one connection. Run by bench/run; figures only, no verdicts.
#include <smtpwire.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "BenchDataFolder.h"
#include "core/EventReporter.h"
#include "core/Format.h"
#include "core/RealTimeClock.h"
#include "core/ThreadData.h"
#include "database/LetterBoxLock.h"
#include "database/LetterData.h"
#include "database/Transaction.h"
#include "dispatch/TarnwellSmtpDispatchPoint.h"
#include "peers/AiosmtpdServer.h"
#include "postoffice/MailDeliveryPointsData.h"

using Stopwatch = std::chrono::steady_clock;

namespace {

constexpr int kLetters = 1000;
const std::string kSender = "me@home.example";
const std::string kSubject = "Please confirm your message (KVRQ-0123456789ABCDEF0123456789ABCDEF)";
const std::string kBody =
    "Hello,\n\nI protect my mailbox against spam. To deliver your message, please reply to\n"
    "this letter and keep the code in the subject.\n\nThank you.\n";

std::string Recipient(int i) {
    return "sender" + std::to_string(i) + "@example.org";
}

double SecondsSince(Stopwatch::time_point start) {
    return std::chrono::duration<double>(Stopwatch::now() - start).count();
}

double DispatchRate(const std::filesystem::path& folder) {
    moxeltest::AiosmtpdServer server(folder);
    if (server.Port() == 0) {
        throw std::runtime_error("aiosmtpd did not start (is python3-aiosmtpd installed?)");
    }
    TarnwellSmtpDispatchPoint point;
    point.SetSmtpServerAddress(Format("127.0.0.1:%1%", server.Port()));
    {
        DatabaseLayer::Transaction transaction;
        LetterBoxLock lock(point.GetLetterBox());
        for (int i = 0; i < kLetters; ++i) {
            point.GetLetterBox().MoveLetterHere(
                std::make_shared<Letter>(kSender, Recipient(i), kSubject, kBody, "<>"));
        }
    }
    DatabaseLayer::MailDeliveryPointsData noAccounts;
    EventReporter reporter;
    const auto start = Stopwatch::now();
    point.DispatchLetters(RealTimeClock(), noAccounts, reporter);
    const double seconds = SecondsSince(start);
    LetterBoxLock lock(point.GetLetterBox());
    if (point.GetLetterBox().GetLetterCount() != 0) {
        throw std::runtime_error("not every letter went out");
    }
    return kLetters / seconds;
}

double SmtplibRate(const std::filesystem::path& folder) {
    moxeltest::AiosmtpdServer server(folder);
    const std::filesystem::path script = folder.parent_path() / "smtplib_send.py";
    std::ofstream(script)
        << "import smtplib, sys, time\n"
           "port, count, sender, subject, body = int(sys.argv[1]), "
           "int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]\n"
           "start = time.monotonic()\n"
           "with smtplib.SMTP('127.0.0.1', port) as smtp:\n"
           "    for i in range(count):\n"
           "        to = 'sender%d@example.org' % i\n"
           "        text = ('Date: Mon, 07 Dec 2026 18:00:00 +0000\\r\\n'\n"
           "                'Content-Type: text/plain\\r\\nFrom: ' + sender +\n"
           "                '\\r\\nMIME-Version: 1.0\\r\\nReturn-Path: <>\\r\\n'\n"
           "                'Subject: ' + subject + '\\r\\nTo: ' + to +\n"
           "                '\\r\\n\\r\\n' + body.replace('\\n', '\\r\\n'))\n"
           "        smtp.sendmail(sender, [to], text.encode())\n"
           "print(time.monotonic() - start)\n";
    const std::string command = Format("python3 %1% %2% %3% '%4%' '%5%' '%6%'", script.string(),
                                       server.Port(), kLetters, kSender, kSubject, kBody);
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("cannot run python3");
    }
    double seconds = 0;
    if (std::fscanf(pipe, "%lf", &seconds) != 1) {
        seconds = 0;
    }
    ::pclose(pipe);
    if (seconds <= 0) {
        throw std::runtime_error("smtplib gave no time");
    }
    return kLetters / seconds;
}

}  // namespace

int main() {
    try {
        BenchDataFolder folder;
        const ThreadDataScope database;
        if (SmtpInitializeA(nullptr, nullptr) == 0) {
            throw std::runtime_error("smtpwire did not initialise");
        }
        std::filesystem::create_directories(folder.Path() / "dispatch");
        std::filesystem::create_directories(folder.Path() / "smtplib");
        const double dispatch = DispatchRate(folder.Path() / "dispatch");
        const double smtplib = SmtplibRate(folder.Path() / "smtplib");
        SmtpUninitialize();
        std::printf("dispatch of %d verification letters to aiosmtpd: %.0f letters/s\n", kLetters,
                    dispatch);
        std::printf("Python smtplib, same letters, one connection:    %.0f letters/s\n", smtplib);
        std::printf("ratio (dispatch / smtplib): %.2f\n", dispatch / smtplib);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_dispatch: %s\n", error.what());
        return 1;
    }
    return 0;
}
