#include <gtest/gtest.h>

#include "fakes/fake_registry.h"
#include "registrar/Form1.h"
#include "registrar/Module1.h"
#include "registrar/Module2.h"

namespace ombrix {
namespace {

using fakes::FakeProgramFolder;
using fakes::FakeRegistry;
using fakes::FakeShellNotifier;

constexpr wchar_t kFolder[] = L"C:\\Program Files\\Ombrix 程序";
constexpr wchar_t kMetrics[] = L"HKCU\\Control Panel\\Desktop\\WindowMetrics";

RegistryValue Text(const std::wstring& s) {
    return RegistryValue{kRegSz, RegistryTextBytes(s)};
}

class RegistrarTest : public ::testing::Test {
  protected:
    FakeRegistry registry;
    FakeShellNotifier notifier{registry};
    FakeProgramFolder folder{kFolder};

    int run() { return registrar::Form1Load(registry, notifier, folder); }
};

TEST_F(RegistrarTest, WritesTheFourEntriesInOrderWithQuotedCommand) {
    EXPECT_TRUE(registrar::RegisterDocumentType(registry, folder));

    const std::vector<std::wstring> expected = {
        L"create HKCR\\OBX",
        L"set HKCR\\OBX[] = OBX文档",
        L"create HKCR\\.obx",
        L"set HKCR\\.obx[] = OBX",
        L"create HKCR\\OBX",
        L"set HKCR\\OBX\\shell\\open\\command[] = \"C:\\Program Files\\Ombrix 程序\\Ombrix.exe\" "
        L"%1",
        L"set HKCR\\OBX\\DefaultIcon[] = C:\\Program Files\\Ombrix 程序\\Skin\\icon.ico",
    };
    EXPECT_EQ(registry.log, expected);
    // Every REG_SZ carries its terminating NUL.
    const auto stored = registry.value(L"HKCR\\OBX", L"");
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->data.size(), (std::wstring(L"OBX文档").size() + 1) * 2);
    EXPECT_EQ(stored->data.back(), 0);
    EXPECT_EQ(registry.openHandles, 0);
}

TEST_F(RegistrarTest, RerunKeepsForeignEntriesAndFollowsAMovedFolder) {
    registry.put(L"HKCR\\OBX\\shell\\edit\\command", L"", Text(L"editor.exe %1"));
    registry.put(L"HKCR\\.obx", L"Content Type", Text(L"application/x-obx"));
    ASSERT_EQ(run(), registrar::kExitRegistered);

    folder.moveTo(L"D:\\Moved");
    ASSERT_EQ(run(), registrar::kExitRegistered);

    EXPECT_EQ(registry.text(L"HKCR\\OBX\\shell\\open\\command"), L"\"D:\\Moved\\Ombrix.exe\" %1");
    EXPECT_EQ(registry.text(L"HKCR\\OBX\\DefaultIcon"), L"D:\\Moved\\Skin\\icon.ico");
    EXPECT_EQ(registry.text(L"HKCR\\OBX"), L"OBX文档");
    EXPECT_EQ(registry.text(L"HKCR\\OBX\\shell\\edit\\command"), L"editor.exe %1");
    EXPECT_EQ(registry.text(L"HKCR\\.obx", L"Content Type"), L"application/x-obx");
}

TEST_F(RegistrarTest, FailedCreateSkipsDependentWritesAndFailsTheExitCode) {
    registry.failingCreates.insert(L"HKCR\\OBX");
    EXPECT_EQ(run(), registrar::kExitRegistrationFailed);
    // ".obx" still written; nothing landed below a key that could not be created.
    EXPECT_EQ(registry.text(L"HKCR\\.obx"), L"OBX");
    EXPECT_FALSE(registry.hasKey(L"HKCR\\OBX\\shell\\open\\command"));
    EXPECT_FALSE(registry.hasKey(L"HKCR\\OBX\\DefaultIcon"));
    // The icon refresh still runs.
    EXPECT_EQ(notifier.sizeAtBroadcast.size(), 2u);
}

TEST_F(RegistrarTest, FailedWriteFailsTheExitCodeButTheRestIsWritten) {
    registry.failingWrites.insert(L"HKCR\\OBX\\shell\\open\\command");
    EXPECT_EQ(run(), registrar::kExitRegistrationFailed);
    EXPECT_EQ(registry.text(L"HKCR\\OBX\\DefaultIcon"),
              std::wstring(kFolder) + L"\\Skin\\icon.ico");
}

TEST_F(RegistrarTest, RegistersBeforeTwoBroadcastsThenNotifiesAssociations) {
    registry.put(kMetrics, L"Shell Icon Size", Text(L"48"));
    ASSERT_EQ(run(), registrar::kExitRegistered);

    std::vector<std::wstring> tail;
    for (const auto& entry : registry.log) {
        if (entry == L"broadcast" || entry == L"assoc-changed" ||
            entry.rfind(L"set HKCR\\OBX\\DefaultIcon", 0) == 0) {
            tail.push_back(entry.substr(0, 24));
        }
    }
    const std::vector<std::wstring> expected = {L"set HKCR\\OBX\\DefaultIcon", L"broadcast",
                                                L"broadcast", L"assoc-changed"};
    EXPECT_EQ(tail, expected);
    EXPECT_EQ(notifier.sizeAtBroadcast, (std::vector<std::wstring>{L"30", L"48"}));
    EXPECT_EQ(notifier.associationNotices, 1);
}

TEST_F(RegistrarTest, UserValueOf30PassesThrough31) {
    registry.put(kMetrics, L"Shell Icon Size", Text(L"30"));
    run();
    EXPECT_EQ(notifier.sizeAtBroadcast, (std::vector<std::wstring>{L"31", L"30"}));
}

TEST_F(RegistrarTest, RestoresAnotherTypeAndBytesExactly) {
    // Two bytes without a terminating NUL, as older tools store it, and a DWORD.
    const RegistryValue unterminated{kRegSz, {'3', 0, '2', 0}};
    registry.put(kMetrics, L"Shell Icon Size", unterminated);
    run();
    EXPECT_EQ(registry.value(kMetrics, L"Shell Icon Size"), unterminated);

    const RegistryValue dword{kRegDword, {32, 0, 0, 0}};
    registry.put(kMetrics, L"Shell Icon Size", dword);
    run();
    EXPECT_EQ(registry.value(kMetrics, L"Shell Icon Size"), dword);
    ASSERT_FALSE(notifier.sizeAtBroadcast.empty());
    EXPECT_EQ(notifier.sizeAtBroadcast.back(), L"<absent>");  // not text: reads as no text
}

TEST_F(RegistrarTest, AbsentValueIsCreatedPassingAndRemovedAgain) {
    ASSERT_FALSE(registry.hasKey(kMetrics));
    run();
    EXPECT_TRUE(registry.hasKey(kMetrics));
    EXPECT_FALSE(registry.value(kMetrics, L"Shell Icon Size"));
    EXPECT_EQ(notifier.sizeAtBroadcast, (std::vector<std::wstring>{L"30", L"<absent>"}));
}

TEST_F(RegistrarTest, EveryWriteFailingStillBroadcastsTwiceAndEnds) {
    registry.failingCreates = {L"HKCR\\OBX", L"HKCR\\.obx", std::wstring(kMetrics)};
    EXPECT_EQ(run(), registrar::kExitRegistrationFailed);
    EXPECT_EQ(notifier.sizeAtBroadcast.size(), 2u);
    EXPECT_EQ(notifier.associationNotices, 1);
}

TEST(RegistryTextTest, RoundTripsAndStopsAtNul) {
    EXPECT_EQ(RegistryTextOf(Text(L"OBX文档")), L"OBX文档");
    EXPECT_EQ(RegistryTextOf(RegistryValue{kRegSz, {'a', 0, 0, 0, 'b', 0}}), L"a");
    EXPECT_EQ(RegistryTextOf(RegistryValue{kRegDword, {1, 0, 0, 0}}), std::nullopt);
}

}  // namespace
}  // namespace ombrix
