// What the plug-in tells the host, and from where: changes it makes itself
// (a linked partner, a program) reach the host as gesture-wrapped value
// events through process or flush, and it calls the host only as CLAP's
// thread rules allow.
#include "tests/host/StateSupport.h"
#include "tests/plugin/clap/ClapTestSupport.h"

namespace claphost {
namespace {

using HostCalls = ClapTest;

std::string Describe(const std::vector<OutEvent>& events) {
  std::string text;
  for (const OutEvent& e : events) {
    text += e.type == CLAP_EVENT_PARAM_VALUE ? "value " : e.type == CLAP_EVENT_PARAM_GESTURE_BEGIN ? "begin " : "end ";
    text += std::to_string(e.param);
    if (e.type == CLAP_EVENT_PARAM_VALUE) text += "=" + std::to_string(e.value);
    text += "@" + std::to_string(e.time) + "; ";
  }
  return text;
}

// Turning the link on from the host makes the five right parameters follow
// the left; each comes back to the host as begin, value, end, at the frame
// of the change, from inside process.
TEST_F(HostCalls, LinkedPartnersReachTheHostAsGestures) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  EventList setup;
  setup.Value(0, testhost::kLink, 0.0);
  setup.Value(0, testhost::kVolumeL, 2.25);
  setup.Value(0, testhost::kMixL, 0.125);
  setup.Value(0, testhost::kModeL, 0.0);
  setup.Value(0, testhost::kFreqMinL, -0.5);
  setup.Value(0, testhost::kFreqMaxL, 0.75);
  plugin->Flush();  // what activation re-announced
  plugin->ClearOutEvents();
  plugin->Flush(&setup);
  EXPECT_TRUE(plugin->OutEvents().empty()) << Describe(plugin->OutEvents());
  plugin->ClearCalls();

  EventList link;
  link.Value(100, testhost::kLink, 1.0);
  DoubleBuffers in(2, std::vector<double>(256, 0.1)), out(2, std::vector<double>(256));
  ASSERT_EQ(plugin->ProcessDouble(in, out, 256, &link), CLAP_PROCESS_CONTINUE);
  const std::vector<OutEvent> events = plugin->OutEvents();
  const uint32_t partners[5] = {testhost::kVolumeR, testhost::kMixR, testhost::kModeR, testhost::kFreqMinR,
                                testhost::kFreqMaxR};
  const double values[5] = {2.25, 0.125, 0.0, -0.5, 0.75};
  ASSERT_EQ(events.size(), 15u) << Describe(events);
  for (int k = 0; k < 5; ++k) {
    SCOPED_TRACE(Describe(events));
    EXPECT_EQ(events[3 * k].type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(events[3 * k + 1].type, CLAP_EVENT_PARAM_VALUE);
    EXPECT_EQ(events[3 * k + 2].type, CLAP_EVENT_PARAM_GESTURE_END);
    for (int j = 0; j < 3; ++j) {
      EXPECT_EQ(events[3 * k + j].param, partners[k]);
      EXPECT_EQ(events[3 * k + j].time, 100u);
    }
    EXPECT_EQ(events[3 * k + 1].value, values[k]);
    EXPECT_EQ(plugin->Value(partners[k]), values[k]);
  }
  // Inside process the plug-in asked nothing of the host but a main-thread
  // callback (the texts may have changed with a stepped parameter).
  for (const HostCall& call : plugin->Calls()) EXPECT_EQ(call.what, "request_callback") << call.what;

  // While linked, a change of the right side from the host moves the left.
  plugin->ClearOutEvents();
  EventList right;
  right.Value(0, testhost::kMixR, 0.5);
  plugin->Flush(&right);
  const std::vector<OutEvent> follow = plugin->OutEvents();
  ASSERT_EQ(follow.size(), 3u) << Describe(follow);
  EXPECT_EQ(follow[1].param, static_cast<uint32_t>(testhost::kMixL));
  EXPECT_EQ(follow[1].value, 0.5);
}

// Changes the plug-in makes outside process are queued: the host is asked
// to flush from the main thread, and the flush hands them over.
TEST_F(HostCalls, MainThreadChangesWaitForAFlush) {
  auto plugin = ClapInstance::Create();
  ASSERT_TRUE(plugin);
  plugin->ClearCalls();
  // Inactive: the link's partners are changed on the main thread.
  EventList link;
  link.Value(0, testhost::kLink, 0.0);
  link.Value(0, testhost::kVolumeL, 0.5);
  link.Value(0, testhost::kLink, 1.0);
  plugin->Flush(&link);
  EXPECT_EQ(plugin->OutEvents().size(), 15u) << Describe(plugin->OutEvents());
  EXPECT_EQ(plugin->Count("request_flush"), 0u);  // it was inside the flush already
  for (const HostCall& call : plugin->Calls()) {
    EXPECT_TRUE(call.mainThread) << call.what;
    EXPECT_FALSE(call.insideProcess) << call.what;
  }

  // The host's callback on the main thread rescans the texts once.
  ASSERT_TRUE(plugin->CallbackRequested());
  plugin->plugin()->on_main_thread(plugin->plugin());
  EXPECT_EQ(plugin->Count("rescan"), 1u);
  plugin->plugin()->on_main_thread(plugin->plugin());
  EXPECT_EQ(plugin->Count("rescan"), 1u);

  // A state with the link on and the sides apart: the right side follows
  // the left as it loads, outside any flush.
  testhost::Values v = testhost::DistinctValues();
  v[testhost::kLink] = 1.0;
  plugin->ClearOutEvents();
  plugin->ClearCalls();
  plugin->ClearRequests();
  ASSERT_TRUE(plugin->Load(testhost::ProgramChunk(testhost::Record201(v), "Linked")));
  EXPECT_TRUE(plugin->FlushRequested());
  for (const HostCall& call : plugin->Calls()) EXPECT_TRUE(call.mainThread) << call.what;
  EXPECT_TRUE(plugin->OutEvents().empty());
  plugin->Flush();
  const std::vector<OutEvent> events = plugin->OutEvents();
  ASSERT_EQ(events.size(), 15u) << Describe(events);
  EXPECT_EQ(events[1].param, static_cast<uint32_t>(testhost::kVolumeR));
  EXPECT_EQ(events[1].value, v[testhost::kVolumeL]);
  EXPECT_EQ(plugin->Value(testhost::kVolumeR), v[testhost::kVolumeL]);
}

}  // namespace
}  // namespace claphost
