#include <gtest/gtest.h>

#include "platform/Module.h"
#include "plugin/HostServices.h"

namespace {

TEST(IdentifyHostByName, FirstRowWinsAndCaseIsIgnored) {
  EXPECT_EQ(IdentifyHostByName("Cubase and Nuendo"), 3);
  EXPECT_EQ(IdentifyHostByName("REAPER"), 1);
  EXPECT_EQ(IdentifyHostByName("Ableton Live 11"), 9);
  EXPECT_EQ(IdentifyHostByName(""), 0);
  EXPECT_EQ(IdentifyHostByName("Some Host"), 0);
  EXPECT_EQ(IdentifyHostByName("Audition"), 17);
  EXPECT_EQ(IdentifyHostByName("vst3plugintesthost"), 27);
  EXPECT_EQ(IdentifyHostByName(nullptr), 0);
}

TEST(MidiQueue, KeepsFrameOrderAndArrivalOrderOfEqualOffsets) {
  MidiQueue queue(2, 2);
  auto message = [](int offset, int tag) {
    MidiMessage m;
    m.frameOffset = offset;
    m.data1 = static_cast<uint8_t>(tag);
    return m;
  };
  queue.Add(message(10, 1));
  queue.Add(message(5, 2));
  queue.Add(message(10, 3));
  queue.Add(message(0, 4));
  queue.Add(message(5, 5));
  ASSERT_EQ(queue.Count(), 5);
  EXPECT_EQ(queue.Capacity(), 6);  // grown in whole steps
  const int expectedTags[] = {4, 2, 5, 1, 3};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(queue.At(i).data1, expectedTags[i]) << i;

  MidiQueue fixed(1, 0);
  fixed.Add(message(1, 1));
  fixed.Add(message(2, 2));  // no growth step: dropped
  EXPECT_EQ(fixed.Count(), 1);
}

TEST(ModuleFolder, UpToAndIncludingTheLastSeparator) {
  EXPECT_EQ(FolderOfModulePath("C:\\Plugins\\x64\\fx.dll", '\\'), "C:\\Plugins\\x64\\");
  EXPECT_EQ(FolderOfModulePath("fx.dll", '\\'), "");
  EXPECT_EQ(FolderOfModulePath("C:\\Plugins\\", '\\'), "");
  EXPECT_EQ(FolderOfModulePath("/usr/lib/vst/Veltrane.so", '/'), "/usr/lib/vst/");
}

}  // namespace
