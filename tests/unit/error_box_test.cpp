#include "ui/error_box.h"

#include <gtest/gtest.h>

#include "support/recording_ui.h"

namespace veilmark {
namespace {

TEST(ErrorBoxText, MessageAloneWithoutCodeOrInfo) {
  EXPECT_EQ(ErrorBoxText(u"Failed", 0, std::nullopt), u"Failed");
}

TEST(ErrorBoxText, InfoWithoutCode) {
  EXPECT_EQ(ErrorBoxText(u"Failed", 0, u"detail"), u"Failed\nAdditional info: detail");
  EXPECT_EQ(ErrorBoxText(u"Failed", 0, u""), u"Failed\nAdditional info: ");
}

TEST(ErrorBoxText, CodeInLowerCaseHexBeforeInfo) {
  EXPECT_EQ(ErrorBoxText(u"Failed", 5, u"i"), u"Failed\nError code: 5\nAdditional info: i");
  EXPECT_EQ(ErrorBoxText(u"Failed", 10, std::nullopt), u"Failed\nError code: a");
  EXPECT_EQ(ErrorBoxText(u"Failed", -2147467259, std::nullopt), u"Failed\nError code: 80004005");
  EXPECT_EQ(ErrorBoxText(u"Failed", -1, std::nullopt), u"Failed\nError code: ffffffff");
}

TEST(ShowError, GoesToTheGivenUiWithTheCaption) {
  testing::RecordingUi ui;
  ShowError(ui, u"Unable to send", 5);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, u"Veilmark AddIn");
  EXPECT_EQ(ui.boxes[0].text, u"Unable to send\nError code: 5");
}

}  // namespace
}  // namespace veilmark
