// `moxel --headless` serves its local POP3 server on "PopPort"; a port it cannot listen on is
// written to the application log with the port and the reason, and the program runs on.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "core/ThreadData.h"
#include "database/AppPropertyCollection.h"
#include "support/ChildProcess.h"
#include "support/LogFiles.h"
#include "support/LoopbackSockets.h"
#include "support/TestDataDir.h"

using namespace std::chrono_literals;

namespace {

std::string AllLogs(const std::filesystem::path& folder) {
    std::string text;
    for (const auto& name : moxeltest::FileNames(folder)) {
        for (const auto& line : moxeltest::ReadLogLines(folder / name)) {
            text += name + ": " + line + "\n";
        }
    }
    return text;
}

void SetPopPort(std::uint16_t port) {
    InitializeThreadData();
    DatabaseLayer::GetAppProperties().SetValue("PopPort", std::to_string(port));
    ReleaseThreadData();
}

TEST(HeadlessPopServerTest, ServesOnPopPortOrLogsWhyItCannot) {
    moxeltest::ScopedDataDir dataDir;
    for (const bool taken : {false, true}) {
        SCOPED_TRACE(taken ? "port taken" : "port free");
        std::uint16_t port = 0;
        moxeltest::Descriptor occupant = moxeltest::ListenOnLoopback(port);
        if (!taken) {
            occupant.Close();
        }
        SetPopPort(port);
        moxeltest::ChildProcess moxel(MOXEL_BINARY, {"--headless"},
                                      {{"MOXEL_DATA_DIR", dataDir.Path().string()}});
        ASSERT_TRUE(moxel.WaitForStderr("Moxel is running", 20s)) << moxel.Stderr();
        if (taken) {
            std::string logs;
            for (int wait = 0; wait < 100 && logs.find("cannot listen") == std::string::npos;
                 ++wait) {
                std::this_thread::sleep_for(100ms);
                logs = AllLogs(dataDir.Path() / "Logs");
            }
            EXPECT_NE(logs.find("cannot listen on 127.0.0.1 port " + std::to_string(port)),
                      std::string::npos)
                << logs;
            EXPECT_NE(logs.find("port " + std::to_string(port) + ": Unable to bind"),
                      std::string::npos)
                << "with the reason: " << logs;
        } else {
            const auto result = moxeltest::RunToEnd(
                "/usr/bin/curl",
                {"-s", "-S", "--max-time", "20", "-u", "me@example.com/me/pop.example.com:pw",
                 "pop3://127.0.0.1:" + std::to_string(port) + "/"});
            EXPECT_EQ(result.exitCode, 0) << result.err;
            EXPECT_EQ(result.out.find_first_not_of("\r\n"), std::string::npos)
                << "the new account's inbox is empty: " << result.out;
        }
        EXPECT_TRUE(moxel.IsRunning());
        moxel.Signal(SIGTERM);
        EXPECT_EQ(moxel.WaitFor(20s), std::optional<int>(0)) << moxel.Stderr();
    }
}

}  // namespace
