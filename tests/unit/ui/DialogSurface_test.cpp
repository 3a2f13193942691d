#include "DialogSurface.h"

#include <gtest/gtest.h>

#include "Catalogue.h"
#include "FakeDialog.h"
#include "FakeMessages.h"
#include "ResourceIds.h"

namespace {

class DialogSurfaceTest : public ::testing::Test {
protected:
    FakeDialog dialog;
    FakeMessages messages;
    DialogSurface surface{dialog, messages};
};

TEST_F(DialogSurfaceTest, StatusTextOperations) {
    EXPECT_EQ(surface.SetStatusText(MSG_SEARCHING), 1);
    EXPECT_EQ(Utf8(dialog.Status()), "ネットワーク上のネトリアを検索しています。");

    EXPECT_EQ(surface.SetStatusTextNum(MSG_ROUTERS_FOUND, 2), 1);
    EXPECT_EQ(Utf8(dialog.Status()), "2台のネトリアが見つかりました。");

    surface.SetStatusTextNum(MSG_INTERNAL_ERROR, 5);
    EXPECT_EQ(Utf8(dialog.Status()), "内部エラーが発生しました。\r\nエラーコード 0x00000005");
    surface.SetStatusTextNum(MSG_INTERNAL_ERROR, static_cast<std::int32_t>(0xC0000005u));
    EXPECT_EQ(Utf8(dialog.Status()), "内部エラーが発生しました。\r\nエラーコード 0xc0000005");

    surface.SetStatusTextSub(MSG_NO_COMMUNICATION, MSG_HINT_CHECK_POWER);
    EXPECT_EQ(Utf8(dialog.Status()),
              "ネトリアとの通信が行えないため、ファームウェアの更新が行えませんでした。\r\n\r\n"
              "ネトリアの電源が切れていたり、ネットワークが切断されていないか確認してください。");
    // Each write replaced the whole text.
    EXPECT_EQ(dialog.statusHistory.size(), 5u);
}

TEST_F(DialogSurfaceTest, DisablingSwitchesTheInputsInOrderAndTurnsResearchIntoCancel) {
    EXPECT_EQ(surface.SetInputsEnabled(0), 0);
    const std::vector<std::pair<int, bool>> expected = {
        {IDC_DEVICE_LABEL, false}, {IDC_DEVICE_LIST, false}, {IDC_PASSWORD_LABEL, false},
        {IDC_PASSWORD, false},     {IDOK, false},            {IDCANCEL, false}};
    EXPECT_EQ(dialog.enableCalls, expected);
    EXPECT_EQ(Utf8(dialog.texts[IDC_RESEARCH]), "キャンセル");
    EXPECT_FALSE(surface.InputsEnabled());

    dialog.enableCalls.clear();
    EXPECT_EQ(surface.SetInputsEnabled(7), 7);
    for (const auto& [id, on] : dialog.enableCalls) EXPECT_TRUE(on) << id;
    EXPECT_EQ(dialog.enableCalls.size(), 6u);
    EXPECT_EQ(Utf8(dialog.texts[IDC_RESEARCH]), "再検索(&R)");
    EXPECT_TRUE(surface.InputsEnabled());
}

TEST_F(DialogSurfaceTest, SetInputsEnabledLeavesStatusProgressAndResearchButtonAlone) {
    surface.SetStatusText(MSG_SEARCHING);
    dialog.progressPos = 42;
    surface.SetInputsEnabled(0);
    surface.SetInputsEnabled(1);
    EXPECT_EQ(dialog.statusHistory.size(), 1u);
    EXPECT_EQ(dialog.progressPos, 42);
    for (const auto& [id, on] : dialog.enableCalls) {
        EXPECT_NE(id, IDC_RESEARCH);
        EXPECT_NE(id, IDC_INFO_TEXT);
        EXPECT_NE(id, IDC_PROGRESS);
    }
}

TEST_F(DialogSurfaceTest, CenterOnParentTruncatesTowardZero) {
    dialog.parent = {512, 384, 512, 384};  // the zero-size main window at the desktop's centre
    dialog.window = {0, 0, 281, 335};
    surface.CenterOnParent();
    EXPECT_EQ(dialog.window.left, 512 - 140);  // (0 - 281) / 2 = -140
    EXPECT_EQ(dialog.window.top, 384 - 167);
    EXPECT_EQ(dialog.window.Width(), 281);
    EXPECT_EQ(dialog.window.Height(), 335);
}

}  // namespace
