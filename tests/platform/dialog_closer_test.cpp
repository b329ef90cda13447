// The message box answerer: real MessageBoxA on this (main) thread, answered
// from the closer's thread while this one sits in the box's modal loop.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>

#include "tests/support/DialogCloser.h"

namespace {

using veltrane_test::DialogCloser;
using veltrane_test::SeenDialog;

TEST(DialogCloser, AnswersYes) {
  DialogCloser closer(IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "Go there?", "A question", MB_YESNO), IDYES);
  const SeenDialog seen = closer.Wait();
  EXPECT_TRUE(seen.found);
  EXPECT_TRUE(seen.pressed);
  EXPECT_EQ(seen.caption, "A question");
  EXPECT_EQ(seen.text, "Go there?");
}

TEST(DialogCloser, AnswersNoAndKeepsMultiLineText) {
  DialogCloser closer(IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "First line.\n\n\tSecond line", "Question", MB_YESNO), IDNO);
  const SeenDialog seen = closer.Wait();
  EXPECT_TRUE(seen.pressed);
  EXPECT_EQ(seen.caption, "Question");
  EXPECT_EQ(seen.text, "First line.\n\n\tSecond line");
}

TEST(DialogCloser, AnswersAnErrorBoxWithOk) {
  DialogCloser closer(IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "An error occurred.", "Check", MB_OK | MB_ICONERROR), IDOK);
  const SeenDialog seen = closer.Wait();
  EXPECT_TRUE(seen.pressed);
  EXPECT_EQ(seen.caption, "Check");
  EXPECT_EQ(seen.text, "An error occurred.");  // the icon has no text
}

TEST(DialogCloser, AnswersTwoBoxesInARow) {
  DialogCloser closer({IDOK, IDNO});
  EXPECT_EQ(MessageBoxA(nullptr, "one", "first", MB_OK | MB_ICONINFORMATION), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "two", "second", MB_YESNO), IDNO);
  const auto seen = closer.WaitAll();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].caption, "first");
  EXPECT_EQ(seen[0].text, "one");
  EXPECT_EQ(seen[1].caption, "second");
  EXPECT_EQ(seen[1].text, "two");
  EXPECT_TRUE(seen[0].pressed && seen[1].pressed);
}

TEST(DialogCloser, ABoxWithoutTheChosenButtonIsStillClosedButReported) {
  DialogCloser closer(IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "Only OK here.", "No choice", MB_OK), IDOK);
  const SeenDialog seen = closer.Wait();
  EXPECT_TRUE(seen.found);
  EXPECT_FALSE(seen.pressed);
}

TEST(DialogCloser, ReportsNoDialogWhenNoneAppears) {
  const auto start = std::chrono::steady_clock::now();
  DialogCloser closer({IDOK, IDOK}, 300);
  const auto seen = closer.WaitAll();
  EXPECT_FALSE(seen[0].found);
  EXPECT_FALSE(seen[1].found);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
