#include "app/Shell.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Catalogue.h"
#include "FakeMessages.h"

namespace {

const std::uint8_t kImageBytes[4] = {1, 2, 3, 4};

// Records every platform step the shell takes, in order.
class RecordingShellPort : public ShellPort {
public:
    std::uint32_t PlatformId() override { return Log("PlatformId"), platformId; }
    bool InstanceMutexExists() override { return Log("InstanceMutexExists"), mutexExists; }
    void CreateInstanceMutex() override { Log("CreateInstanceMutex"); }
    void CloseInstanceMutex() override { Log("CloseInstanceMutex"); }
    void RaiseRunningInstance() override { Log("RaiseRunningInstance"); }
    bool RegisterMainClass() override { return Log("RegisterMainClass"), classRegisters; }
    ScreenSize DesktopClientSize() override { return Log("DesktopClientSize"), desktop; }
    bool CreateMainWindow(int x, int y, const char* caption) override {
        Log("CreateMainWindow " + std::to_string(x) + "," + std::to_string(y));
        windowCaption = caption;
        return windowCreates;
    }
    int RunEventLoop() override {
        Log("RunEventLoop");
        if (onEventLoop) onEventLoop();
        return quitCode;
    }
    void PostQuit(int code) override {
        Log("PostQuit " + std::to_string(code));
        quitCode = code;
    }
    FirmwareImage LocateFirmwareImage() override { return Log("LocateFirmwareImage"), image; }
    void RunDialog(const FirmwareImage& shown) override {
        Log("RunDialog");
        dialogImage = shown;
    }
    void ShowWarning(const char* text, const char* caption, WarningOwner owner) override {
        Log(owner == WarningOwner::None ? "ShowWarning unowned" : "ShowWarning owned");
        warnings.push_back({Utf8(text), Utf8(caption)});
    }

    void Log(const std::string& step) { steps.push_back(step); }

    std::uint32_t platformId = 2;
    bool mutexExists = false;
    bool classRegisters = true;
    bool windowCreates = true;
    ScreenSize desktop{1024, 768};
    FirmwareImage image{kImageBytes, sizeof kImageBytes};
    int quitCode = -1;
    std::function<void()> onEventLoop;

    std::vector<std::string> steps;
    std::string windowCaption;
    FirmwareImage dialogImage;
    std::vector<std::pair<std::string, std::string>> warnings;  // (text, caption), UTF-8
};

class ShellTest : public ::testing::Test {
protected:
    RecordingShellPort platform;
    FakeMessages messages;
    Shell shell{platform, messages};
};

using Steps = std::vector<std::string>;

TEST_F(ShellTest, OnlyTheNtAnd9xFamiliesAreSupported) {
    struct Case {
        std::uint32_t platformId;
        bool supported;
    } cases[] = {
        {0, false},  // Win32s, and what a failed query leaves in the zeroed information
        {1, true},   // the 9x family
        {2, true},   // the NT family
        {3, false},  // CE
        {0xFFFFFFFFu, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.platformId);
        platform.platformId = c.platformId;
        EXPECT_EQ(shell.CheckPlatform(), c.supported);
    }
}

TEST_F(ShellTest, UnsupportedPlatformWarnsWithoutOwnerAndCreatesNothing) {
    platform.platformId = 0;
    EXPECT_EQ(shell.ProgramMain(), 1);
    EXPECT_EQ(platform.steps, (Steps{"PlatformId", "ShowWarning unowned"}));
    ASSERT_EQ(platform.warnings.size(), 1u);
    EXPECT_EQ(platform.warnings[0].first, "このOSでは実行できません。");
    EXPECT_EQ(platform.warnings[0].second, "ネトリアファームウェア更新ユーティリティ");
}

TEST_F(ShellTest, SecondInstanceRaisesTheFirstAndCreatesNoMutexClassOrWindow) {
    platform.mutexExists = true;
    EXPECT_EQ(shell.ProgramMain(), 1);
    EXPECT_EQ(platform.steps, (Steps{"PlatformId", "InstanceMutexExists", "RaiseRunningInstance"}));
    EXPECT_TRUE(platform.warnings.empty());
}

TEST_F(ShellTest, StartsInOrderRunsTheDialogFromTheDeferredStartAndEndsWithZero) {
    platform.desktop = {1023, 767};  // halves are truncated
    platform.onEventLoop = [this] { shell.DeferredStart(); };
    EXPECT_EQ(shell.ProgramMain(), 0);
    EXPECT_EQ(platform.steps, (Steps{"PlatformId", "InstanceMutexExists", "CreateInstanceMutex", "RegisterMainClass",
                                     "DesktopClientSize", "CreateMainWindow 511,383", "RunEventLoop",
                                     "LocateFirmwareImage", "RunDialog", "PostQuit 0", "CloseInstanceMutex"}));
    EXPECT_EQ(Utf8(platform.windowCaption), "ネトリアファームウェア更新ユーティリティ");
    EXPECT_STREQ(shell.AppCaption(), platform.windowCaption.c_str());
    // The dialog works on the resource bytes in place.
    EXPECT_EQ(platform.dialogImage.data, kImageBytes);
    EXPECT_EQ(platform.dialogImage.size, sizeof kImageBytes);
}

TEST_F(ShellTest, SilentWindowFailuresEndWithZeroAndLeaveTheMutexOpen) {
    platform.classRegisters = false;
    EXPECT_EQ(shell.ProgramMain(), 0);
    EXPECT_EQ(platform.steps, (Steps{"PlatformId", "InstanceMutexExists", "CreateInstanceMutex", "RegisterMainClass"}));

    platform.steps.clear();
    platform.classRegisters = true;
    platform.windowCreates = false;
    EXPECT_EQ(shell.ProgramMain(), 0);
    EXPECT_EQ(platform.steps, (Steps{"PlatformId", "InstanceMutexExists", "CreateInstanceMutex", "RegisterMainClass",
                                     "DesktopClientSize", "CreateMainWindow 512,384"}));
    EXPECT_TRUE(platform.warnings.empty());
}

TEST_F(ShellTest, MissingOrEmptyImageWarnsOwnedByTheMainWindowAndQuitsWithoutDialog) {
    const FirmwareImage unreadable[] = {
        {nullptr, 0},           // no such resource
        {kImageBytes, 0},       // a resource without bytes
        {nullptr, 798968},      // found but not loadable
    };
    for (const FirmwareImage& image : unreadable) {
        SCOPED_TRACE(image.size);
        RecordingShellPort fresh;
        Shell freshShell{fresh, messages};
        fresh.image = image;
        freshShell.ProgramMain();  // sets the caption; the loop delivers nothing here
        fresh.steps.clear();

        freshShell.DeferredStart();
        EXPECT_EQ(fresh.steps, (Steps{"LocateFirmwareImage", "ShowWarning owned", "PostQuit 0"}));
        ASSERT_EQ(fresh.warnings.size(), 1u);
        EXPECT_EQ(fresh.warnings[0].first, "ファームウェアが読み込めません。");
        EXPECT_EQ(fresh.warnings[0].second, "ネトリアファームウェア更新ユーティリティ");
        EXPECT_EQ(freshShell.LoadFirmwareImage(), 0u);
    }
}

TEST_F(ShellTest, ASecondDestroyEventStartsNothing) {
    shell.DeferredStart();
    platform.steps.clear();
    shell.DeferredStart();
    EXPECT_TRUE(platform.steps.empty());
}

}  // namespace
