// What the editor window tests of every format share beyond the parent
// windows and images of HostEditorParent.h: a tolerant comparison that waits
// for the window to show its golden image. VELTRANE_HOST_ARTIFACTS names
// the folder a failing capture is written to.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "tests/host/HostEditorParent.h"

namespace testhost {

constexpr int kWidth = 584, kHeight = 390;

// Waits (up to 5 s) for the window to show the golden image; with
// VELTRANE_UPDATE_GOLDEN=1 first rewrites the golden image from it.
inline void ExpectWindowMatchesGolden(const std::function<void()>& wait, const std::function<Image()>& capture,
                               const std::string& goldenPath, int width, int height, const char* artifactName,
                               bool mayUpdate = true) {
  if (mayUpdate && UpdatingGolden()) {
    // A second lets the panel and its indicators settle.
    const auto settled = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < settled) wait();
    ASSERT_TRUE(WritePng(goldenPath, capture())) << goldenPath;
  }
  const Image golden = ReadPng(goldenPath);
  ASSERT_EQ(golden.width, width) << "cannot read " << goldenPath
                                 << " (run once with VELTRANE_UPDATE_GOLDEN=1 and look at it)";
  ASSERT_EQ(golden.height, height);

  // Text edges may differ by a shade; 0.5 % of the panel is about a word.
  const int allowed = width * height / 200;
  Image shot;
  int differing = width * height;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    wait();
    shot = capture();
    differing = DifferingPixels(shot, golden, 48);
    if (differing < allowed) break;
  }
  EXPECT_LT(differing, allowed) << differing << " pixels differ from " << goldenPath;
  if (differing >= allowed && shot.width == width) {
    const std::string artifact = std::string(VELTRANE_HOST_ARTIFACTS) + "/" + artifactName;
    EXPECT_TRUE(WritePng(artifact, shot)) << artifact;
    ADD_FAILURE() << "the window as captured is in " << artifact;
  }
}

}  // namespace testhost
