#include <gtest/gtest.h>

#include <vector>

#include "netframe/HookTable.h"
#include "platform/windows/MessageWindows.h"

namespace {

using platform::WindowHandle;

std::intptr_t Original(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
    return 1;
}
std::intptr_t Hooked(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
    return 2;
}

TEST(HookTableTest, TheFirstSocketHooksAndTheLastOneRestores) {
    netframe::HookTable table;
    const WindowHandle window = platform::CreateMessageWindow(&Original);
    EXPECT_FALSE(table.Previous(window).has_value());

    ASSERT_TRUE(table.Attach(window, &Hooked));
    ASSERT_TRUE(table.Attach(window, &Hooked));
    EXPECT_EQ(platform::GetWindowProcedure(window), &Hooked);
    EXPECT_EQ(table.Previous(window), &Original);
    EXPECT_EQ(table.SocketCount(window), 2);
    EXPECT_EQ(platform::SendMessage(window, platform::WM_USER, 0, 0), 2);

    table.Detach(window);
    EXPECT_EQ(platform::GetWindowProcedure(window), &Hooked) << "one socket still notifies it";
    table.Detach(window);
    EXPECT_EQ(platform::GetWindowProcedure(window), &Original);
    EXPECT_FALSE(table.Previous(window).has_value());
    table.Detach(window);  // one too many does nothing
    EXPECT_EQ(platform::GetWindowProcedure(window), &Original);
    platform::DestroyWindow(window);
}

TEST(HookTableTest, AWindowWithoutProcedureIsStillKnownAsHooked) {
    netframe::HookTable table;
    const WindowHandle window = platform::CreateMessageWindow(nullptr);
    ASSERT_TRUE(table.Attach(window, &Hooked));
    const auto previous = table.Previous(window);
    ASSERT_TRUE(previous.has_value());
    EXPECT_EQ(*previous, nullptr);
    platform::DestroyWindow(window);
}

TEST(HookTableTest, RefusesMissingWindowsAndAWindowBeyondTheCapacity) {
    std::vector<WindowHandle> windows;
    {
        netframe::HookTable table;
        const WindowHandle gone = platform::CreateMessageWindow(&Original);
        platform::DestroyWindow(gone);
        EXPECT_FALSE(table.Attach(gone, &Hooked));

        for (int i = 0; i < netframe::HookTable::kCapacity; ++i) {
            windows.push_back(platform::CreateMessageWindow(&Original));
            ASSERT_TRUE(table.Attach(windows.back(), &Hooked));
        }
        const WindowHandle extra = platform::CreateMessageWindow(&Original);
        EXPECT_FALSE(table.Attach(extra, &Hooked));
        EXPECT_EQ(platform::GetWindowProcedure(extra), &Original);
        platform::DestroyWindow(extra);
    }
    // The table went away with the library: every window has its own procedure back.
    for (const WindowHandle window : windows) {
        EXPECT_EQ(platform::GetWindowProcedure(window), &Original);
        platform::DestroyWindow(window);
    }
}

}  // namespace
