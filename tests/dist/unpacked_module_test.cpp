// The module of an unpacked release archive, loaded from there as the host
// loads it, with the archive's sample rule file as its rule list.
// Usage: unpacked_module_test.exe FOLDER (the unpacked torvo-<version>).
#include "tests/support/torvo_test.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string g_unpacked;

TEST(UnpackedArchive, ModuleLoadsAndAppliesTheSampleRules) {
    ScratchFolder folder;
    ASSERT_TRUE(CopyFileA((g_unpacked + "\\sample-rules.tdb").c_str(), RULE_FILE, FALSE));
    LoadedModule module = LoadModuleFrom(g_unpacked + "\\torvo.jem");
    ASSERT_NE(module.setUserState, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module.handle, MAKEINTRESOURCEA(1))),
              reinterpret_cast<void*>(module.setUserState));
    EXPECT_NE(module.setup, nullptr);
    EXPECT_EQ(module.setUserState(0, nullptr, 0), 8272u);

    // The sample list: "Спамер" ignored; 10.0.* no private messages; "Гость"
    // at 192.168.1.20 everything allowed; "Модератор" or 172.16.0.0 to
    // 172.16.255.255 colours only.
    HWND sink = CreateMessageSink();
    StandInRoom room;
    FillRoom(room,
             {MakeVisitor(L"\u0421\u043f\u0430\u043c\u0435\u0440", "", 0x101),
              MakeVisitor(L"Bob", "10.0.3.4", 0x01),
              MakeVisitor(L"\u0413\u043e\u0441\u0442\u044c", "192.168.1.20", 0x301),
              MakeVisitor(L"Alice", "172.16.4.2", 0x101),
              MakeVisitor(L"Carol", "192.0.2.1", 0x101)},
             nullptr, sink);
    EXPECT_EQ(module.setUserState(16, &room.room, 0), 0u);
    EXPECT_EQ(room.users[0].state, 0x301u);
    EXPECT_EQ(room.users[0].nickColor, 0x000000C0u);
    EXPECT_EQ(room.users[1].state, 0x101u);
    EXPECT_EQ(room.users[2].state, 0x001u);
    EXPECT_EQ(room.users[3].state, 0x101u);
    EXPECT_EQ(room.users[3].nickColor, 0x00FF0000u);
    EXPECT_EQ(room.users[4].state, 0x101u);
    EXPECT_EQ(room.users[4].nickColor, 0x00ABCDEFu);  // nobody's rule: the host's colour
    TakeRedraws(sink);
    DestroyWindow(sink);
    UnloadModule(module);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: unpacked_module_test.exe FOLDER\n");
        return 2;
    }
    g_unpacked = argv[1];
    return RUN_ALL_TESTS();
}
