// The windows of a run and their start states.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

#include "app/app_state.h"
#include "app/startup.h"
#include "folder/masks.h"
#include "folder/tfrm_sub.h"
#include "widgets/file_list_box.h"
#include "widgets/radio_group.h"
#include "search/tdlg_px_serch.h"
#include "viewer/tfrm_main.h"

TEST(StartupTest, ShowsOnlyTheFolderWindowWithEveryOptionAtItsStartState)
{
    AppState state;
    state.ChosenFolder = QStringLiteral("left over");
    app::createWindows(state);
    ASSERT_TRUE(state.frmMain && state.frmSub && state.dlgPxSerch);
    EXPECT_EQ(QApplication::applicationDisplayName(), QStringLiteral("Daredazi"));
    EXPECT_FALSE(state.frmMain->isVisible());
    EXPECT_TRUE(state.frmSub->isVisible());
    EXPECT_FALSE(state.dlgPxSerch->isVisible());
    EXPECT_EQ(state.frmSub->windowTitle(), QStringLiteral("フォルダの選択"));
    EXPECT_TRUE(state.HelpFilePath.endsWith(QStringLiteral("Daredazi.chm")));
    EXPECT_TRUE(state.ChosenFolder.isEmpty());
    EXPECT_TRUE(state.FolderWindowShown);
    EXPECT_FALSE(state.ViewerReady);
    EXPECT_FALSE(state.UseGoogleMap);

    TfrmSub* s = state.frmSub;
    EXPECT_TRUE(s->chbCenter->isChecked());
    EXPECT_TRUE(s->chbPropo->isChecked());
    EXPECT_FALSE(s->chbStrech->isChecked());
    EXPECT_FALSE(s->chbWind->isChecked());
    EXPECT_FALSE(s->chbUnDr->isChecked());
    EXPECT_FALSE(s->cbRandm->isChecked());
    EXPECT_TRUE(s->rbAsend->isChecked());
    EXPECT_EQ(s->rgDSort->itemIndex(), 0);
    EXPECT_EQ(s->rgMapVw->itemIndex(), 0);
    EXPECT_FALSE(s->btCancel->isEnabled());
    EXPECT_EQ(s->FLBox->mask(), folder::kFullMask);
    EXPECT_EQ(s->backgroundColour(), state.frmMain->palette().color(QPalette::Window));

    app::destroyWindows(state);
    EXPECT_EQ(state.frmMain, nullptr);
    EXPECT_EQ(state.frmSub, nullptr);
}
