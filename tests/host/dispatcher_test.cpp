// Dispatcher requests a host makes, with good and bad arguments.
#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "tests/host/HostTestSupport.h"

namespace testhost {
namespace {

using Dispatcher = HostTest;

const VstIntPtr kCockosAnswer = static_cast<VstIntPtr>(0xBEEF0000u);

VstIntPtr CanDo(PluginInstance& plugin, const char* text) {
  std::string copy(text);
  return plugin.Dispatch(effCanDo, 0, 0, &copy[0]);
}

TEST_F(Dispatcher, CanDo) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(CanDo(*plugin, "receiveVstTimeInfo"), 1);
  EXPECT_EQ(CanDo(*plugin, "sendVstEvents"), 1);
  EXPECT_EQ(CanDo(*plugin, "sendVstMidiEvent"), 1);
  EXPECT_EQ(CanDo(*plugin, "receiveVstEvents"), 1);
  EXPECT_EQ(CanDo(*plugin, "receiveVstMidiEvent"), 1);
  EXPECT_EQ(CanDo(*plugin, "hasCockosExtensions"), kCockosAnswer);
  EXPECT_EQ(CanDo(*plugin, "hasCockosViewAsConfig"), kCockosAnswer);
  EXPECT_EQ(CanDo(*plugin, "ReceiveVstTimeInfo"), 0);  // exact, case-sensitive
  EXPECT_EQ(CanDo(*plugin, "receiveVstTimeInfo "), 0);
  EXPECT_EQ(CanDo(*plugin, "bypass"), 0);
  EXPECT_EQ(CanDo(*plugin, "offline"), 0);
  EXPECT_EQ(CanDo(*plugin, ""), 0);
  EXPECT_EQ(plugin->Dispatch(effCanDo, 0, 0, nullptr), 0);
}

TEST_F(Dispatcher, Versions) {
  auto plugin = NewInstance();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->Dispatch(effGetVstVersion), 2400);
  EXPECT_EQ(plugin->Dispatch(effGetVendorVersion), 20003);
  EXPECT_EQ(plugin->Dispatch(effIdentify), 0x4E764566);  // 'NvEf'
  EXPECT_EQ(plugin->Dispatch(effGetPlugCategory), kPlugCategEffect);
  EXPECT_EQ(plugin->Dispatch(effGetTailSize), 0);
}

TEST_F(Dispatcher, Names) {
  auto plugin = NewInstance();
  ASSERT_TRUE(plugin);
  char text[512];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(plugin->Dispatch(effGetEffectName, 0, 0, text), 1);
  EXPECT_STREQ(text, "Quorvel Veltrane");
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(plugin->Dispatch(effGetVendorString, 0, 0, text), 1);
  EXPECT_STREQ(text, "Quorvel");
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(plugin->Dispatch(effGetProductString, 0, 0, text), 1);
  EXPECT_STREQ(text, "");
}

TEST_F(Dispatcher, EveryIndexCanBeAutomated) {
  auto plugin = NewInstance();
  ASSERT_TRUE(plugin);
  for (VstInt32 i = -1; i <= 16; ++i) EXPECT_EQ(plugin->Dispatch(effCanBeAutomated, i), 1) << "index " << i;
}

// The Effect base labels each pin with the effect's name.
TEST_F(Dispatcher, PinProperties) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  for (VstInt32 opcode : {effGetInputProperties, effGetOutputProperties}) {
    SCOPED_TRACE(opcode == effGetInputProperties ? "inputs" : "outputs");
    VstPinProperties pin;
    std::memset(&pin, 0, sizeof pin);
    EXPECT_EQ(plugin->Dispatch(opcode, 0, 0, &pin), 1);
    EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    EXPECT_STREQ(pin.label, "Quorvel Veltrane ");

    std::memset(&pin, 0, sizeof pin);
    EXPECT_EQ(plugin->Dispatch(opcode, 1, 0, &pin), 1);
    EXPECT_EQ(pin.flags, kVstPinIsActive);
    EXPECT_STREQ(pin.label, "Quorvel Veltrane ");

    std::memset(&pin, 0x55, sizeof pin);
    VstPinProperties untouched = pin;
    EXPECT_EQ(plugin->Dispatch(opcode, 2, 0, &pin), 0);
    EXPECT_EQ(plugin->Dispatch(opcode, -1, 0, &pin), 0);
    EXPECT_EQ(std::memcmp(&pin, &untouched, sizeof pin), 0);
    EXPECT_EQ(plugin->Dispatch(opcode, 0, 0, nullptr), 0);
  }
}

TEST_F(Dispatcher, SpeakerArrangementsAreStereo) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  VstSpeakerArrangement* in = nullptr;
  VstSpeakerArrangement* out = nullptr;
  EXPECT_EQ(plugin->Dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 1);
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(in->type, kSpeakerArrStereo);
  EXPECT_EQ(in->numChannels, 2);
  EXPECT_EQ(out->type, kSpeakerArrStereo);
  EXPECT_EQ(out->numChannels, 2);

  // Setting an arrangement changes the connections, not what is reported.
  VstSpeakerArrangement mono{};
  mono.type = kSpeakerArrMono;
  mono.numChannels = 1;
  EXPECT_EQ(plugin->Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&mono), &mono), 1);
  in = out = nullptr;
  EXPECT_EQ(plugin->Dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 1);
  ASSERT_TRUE(in && out);
  EXPECT_EQ(in->numChannels, 2);
  EXPECT_EQ(out->numChannels, 2);
}

TEST_F(Dispatcher, VendorSpecificExtensions) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  // Index 8: which parameters are stepped (the enumerations).
  const std::set<VstInt32> stepped = {kLink, kModeL, kModeR, kFreqRange, kLfoWaveform, kSyncToHost};
  for (VstInt32 i = 0; i < kNumParams; ++i) {
    EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 8, i), stepped.count(i) ? 0xBEEF : 0) << "parameter " << i;
  }
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 8, 15), 0);
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 8, -1), 0);

  // Index 7: display text of a normalised value given in opt.
  char text[256] = {};
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 7, kVolumeL, text, 0.5f), 0xBEEF);
  EXPECT_STREQ(text, "0.0");
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 7, kMixL, text, 0.25f), 0xBEEF);
  EXPECT_STREQ(text, "75:25");
  std::strcpy(text, "unchanged");
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 7, 99, text, 0.5f), 0xBEEF);
  EXPECT_STREQ(text, "unchanged");
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 7, kMixL, nullptr, 0.5f), 0);

  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 0, 0, text), 0);
  EXPECT_EQ(plugin->Dispatch(effVendorSpecific, 9, 0, text), 0);
}

TEST_F(Dispatcher, MidiKeyNamesAreEmpty) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  MidiKeyName key{};
  key.thisKeyNumber = 60;
  std::strcpy(key.keyName, "stale");
  EXPECT_EQ(plugin->Dispatch(effGetMidiKeyName, 0, 0, &key), 0);
  EXPECT_STREQ(key.keyName, "");
}

TEST_F(Dispatcher, MidiFromTheHostIsTakenAndNotEchoed) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  VstMidiEvent note{};
  note.type = kVstMidiType;
  note.byteSize = sizeof(VstMidiEvent);
  note.midiData[0] = static_cast<char>(0x90);
  note.midiData[1] = 60;
  note.midiData[2] = 100;
  VstMidiEvent cc = note;
  cc.midiData[0] = static_cast<char>(0xB0);
  cc.midiData[1] = 7;
  char dump[] = {static_cast<char>(0xF0), 0x7D, 0x01, static_cast<char>(0xF7)};
  VstMidiSysexEvent sysex{};
  sysex.type = kVstSysExType;
  sysex.byteSize = sizeof(VstMidiSysexEvent);
  sysex.dumpBytes = sizeof dump;
  sysex.sysexDump = dump;

  struct {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[4];
  } events = {4, 0, {reinterpret_cast<VstEvent*>(&note), nullptr, reinterpret_cast<VstEvent*>(&cc),
                     reinterpret_cast<VstEvent*>(&sysex)}};
  plugin->ClearCalls();
  EXPECT_EQ(plugin->Dispatch(effProcessEvents, 0, 0, &events), 1);
  EXPECT_EQ(plugin->Dispatch(effProcessEvents, 0, 0, nullptr), 0);

  FloatBuffers in(2, std::vector<float>(256, 0.0f));
  FloatBuffers out(2, std::vector<float>(256, 0.0f));
  plugin->ProcessReplacing(in, out);
  EXPECT_EQ(plugin->CountCalls(audioMasterProcessEvents), 0u);
}

TEST_F(Dispatcher, FactoryProgramNames) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  const char* const names[32] = {
      "Weird Stereo Phasing", "Stereo Enhancement", "Freak Your Drumloop", "Confuse Your Ears", "Out of Control",
      "Hilbert Pan",          "Hilbert Out",        "Extrem Stereoid",     "Minus 2500Hz",      "Minus 250Hz",
      "Minus 25Hz",           "Minus 2.5Hz",        "Plus 2.5Hz",          "Plus 25Hz",         "Plus 250Hz",
      "Plus 2500Hz",          "Static Phasing 1",   "Static Phasing 2",    "Stereo Phasing",    "Interference 1",
      "Interference 2",       "Stereo Interference", "Vibrato",            "Shifter Pan",       "Move Me!",
      "Dropple",              "Is It Going Down?",  "Laser Beam",          "Wobble",            "Up, Up, And Awoop",
      "Shatter",              "Init"};
  for (VstInt32 i = 0; i < 32; ++i) {
    char text[512] = {};
    EXPECT_EQ(plugin->Dispatch(effGetProgramNameIndexed, i, 0, text), 1) << "program " << i;
    EXPECT_STREQ(text, names[i]) << "program " << i;
  }
  char text[512] = {};
  EXPECT_EQ(plugin->Dispatch(effGetProgramNameIndexed, 32, 0, text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(plugin->Dispatch(effGetProgramNameIndexed, -1, 0, text), 0);
  EXPECT_EQ(plugin->Dispatch(effGetProgram), 0);
}

TEST_F(Dispatcher, SetProgramAppliesTheFactoryProgram) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->Dispatch(effSetProgram, 0, 8), 0);
  EXPECT_EQ(plugin->Dispatch(effGetProgram), 8);
  EXPECT_EQ(plugin->ProgramName(), "Minus 2500Hz");
  EXPECT_EQ(plugin->ParamDisplay(kLink), "On");
  EXPECT_EQ(plugin->ParamDisplay(kVolumeL), "-6.0");
  EXPECT_EQ(plugin->ParamDisplay(kMixL), "Wet");
  EXPECT_EQ(plugin->ParamDisplay(kFreqRange), "5000");
  EXPECT_EQ(plugin->ParamDisplay(kFreqMaxL), "-2500 Hz");
  EXPECT_EQ(plugin->ParamDisplay(kLfoWaveform), "Off");

  // An unknown program changes nothing the host can see.
  EXPECT_EQ(plugin->Dispatch(effSetProgram, 0, 40), 0);
  EXPECT_EQ(plugin->Dispatch(effGetProgram), 8);
  EXPECT_EQ(plugin->ProgramName(), "Minus 2500Hz");
}

TEST_F(Dispatcher, ProgramChangesKeepEditsOfTheProgramLeft) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 0.0f);
  plugin->SetParameter(kMixR, 0.1f);
  plugin->Dispatch(effSetProgram, 0, 3);
  EXPECT_EQ(plugin->ParamDisplay(kMixR), "50:50");
  plugin->Dispatch(effSetProgram, 0, 0);
  EXPECT_EQ(plugin->ParamDisplay(kLink), "Off");
  EXPECT_FLOAT_EQ(plugin->GetParameter(kMixR), 0.1f);
}

TEST_F(Dispatcher, ProgramRename) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  char name[] = "My Program";
  EXPECT_EQ(plugin->Dispatch(effSetProgramName, 0, 0, name), 0);
  EXPECT_EQ(plugin->ProgramName(), "My Program");
  EXPECT_EQ(plugin->ProgramNameIndexed(0), "My Program");
  char empty[] = "";
  plugin->Dispatch(effSetProgramName, 0, 0, empty);
  EXPECT_EQ(plugin->ProgramName(), "My Program");
}

// Opcodes the plug-in does not handle answer 0, whatever they carry.
TEST_F(Dispatcher, UnknownOpcodesAnswerZero) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  const std::set<VstInt32> handled = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10, 11, 12, 13, 14, 15, 19, 22, 23, 24, 25,
                                      26, 27, 29, 33, 34, 35, 41, 42, 45, 47, 48, 49, 50, 51, 52, 53, 58, 66, 69};
  char scratch[1024] = {};
  for (VstInt32 opcode = 0; opcode <= 200; ++opcode) {
    if (handled.count(opcode)) continue;
    EXPECT_EQ(plugin->Dispatch(opcode, 0, 0, nullptr, 0.0f), 0) << "opcode " << opcode;
    EXPECT_EQ(plugin->Dispatch(opcode, 1, 1, scratch, 1.0f), 0) << "opcode " << opcode;
  }
  for (VstInt32 opcode : {effSetBypass, effStartProcess, effStopProcess, effSetProcessPrecision}) {
    EXPECT_EQ(plugin->Dispatch(opcode, 0, 1), 0) << "opcode " << opcode;
  }
  EXPECT_EQ(plugin->Dispatch(-1), 0);
  EXPECT_EQ(plugin->Dispatch(100000), 0);
  // Still alive and answering.
  EXPECT_EQ(plugin->Dispatch(effGetVstVersion), 2400);
}

TEST_F(Dispatcher, MissingPointersAnswerWithoutTouchingAnything) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  struct Case {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr expected;
  };
  const Case cases[] = {
      {effSetProgramName, 0, 0},  {effGetProgramName, 0, 0},  {effGetParamLabel, 1, 0},
      {effGetParamDisplay, 1, 0}, {effGetParamName, 1, 0},    {effEditGetRect, 0, 0},
      {effGetChunk, 0, 0},        {effGetChunk, 1, 0},        {effSetChunk, 0, 0},
      {effSetChunk, 1, 0},        {effProcessEvents, 0, 0},   {effGetProgramNameIndexed, 0, 0},
      {effGetInputProperties, 0, 0}, {effGetOutputProperties, 0, 0}, {effGetEffectName, 0, 0},
      {effGetVendorString, 0, 0}, {effGetProductString, 0, 0}, {effVendorSpecific, 7, 0},
      {effCanDo, 0, 0},           {effGetMidiKeyName, 0, 0},  {effString2Parameter, 1, 1},
      {effSetSpeakerArrangement, 0, 1}, {effGetSpeakerArrangement, 0, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(plugin->Dispatch(c.opcode, c.index, 0, nullptr), c.expected) << "opcode " << c.opcode;
  }
  EXPECT_EQ(plugin->ProgramName(), "Weird Stereo Phasing");
  EXPECT_EQ(plugin->ParamDisplay(kVolumeL), "0.0");
}

TEST_F(Dispatcher, BadParameterIndicesLeaveTheTextAlone) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  for (VstInt32 opcode : {effGetParamName, effGetParamDisplay, effGetParamLabel}) {
    for (VstInt32 index : {-1, 15, 1000}) {
      char text[64];
      std::strcpy(text, "sentinel");
      EXPECT_EQ(plugin->Dispatch(opcode, index, 0, text), 0);
      EXPECT_STREQ(text, "sentinel") << "opcode " << opcode << " index " << index;
    }
  }
}

// Texts copied to the host stay inside the plug-in's own limits (31, 127 and
// 255 characters plus terminator); nothing past them is written.
void ExpectBoundedCopy(PluginInstance& plugin, VstInt32 opcode, VstInt32 index, size_t limit) {
  unsigned char text[1024];
  std::memset(text, 0x7F, sizeof text);
  plugin.Dispatch(opcode, index, 0, text);
  const size_t length = strnlen(reinterpret_cast<const char*>(text), sizeof text);
  EXPECT_LT(length, limit) << "opcode " << opcode << " index " << index;
  for (size_t i = limit; i < sizeof text; ++i) {
    if (text[i] != 0x7F) {
      ADD_FAILURE() << "opcode " << opcode << " index " << index << " wrote byte " << i;
      break;
    }
  }
}

TEST_F(Dispatcher, TextCopiesAreBounded) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  for (VstInt32 i = 0; i < kNumParams; ++i) {
    ExpectBoundedCopy(*plugin, effGetParamName, i, 32);
    ExpectBoundedCopy(*plugin, effGetParamLabel, i, 32);
    ExpectBoundedCopy(*plugin, effGetParamDisplay, i, 32);
  }
  ExpectBoundedCopy(*plugin, effGetEffectName, 0, 128);
  ExpectBoundedCopy(*plugin, effGetVendorString, 0, 128);
  ExpectBoundedCopy(*plugin, effGetProductString, 0, 128);
  ExpectBoundedCopy(*plugin, effGetProgramName, 0, 256);
  for (VstInt32 i = 0; i < 32; ++i) ExpectBoundedCopy(*plugin, effGetProgramNameIndexed, i, 256);
}

TEST_F(Dispatcher, OverlongProgramNamesAreCut) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  std::string longName(600, 'n');
  longName[0] = 'A';
  plugin->Dispatch(effSetProgramName, 0, 0, &longName[0]);
  const std::string stored = plugin->ProgramName();
  EXPECT_FALSE(stored.empty());
  EXPECT_LE(stored.size(), 255u);
  EXPECT_EQ(stored, longName.substr(0, stored.size()));
  ExpectBoundedCopy(*plugin, effGetProgramName, 0, 256);
  ExpectBoundedCopy(*plugin, effGetProgramNameIndexed, 0, 256);
}

TEST_F(Dispatcher, IdleRequestsAreHarmless) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(plugin->Dispatch(effEditIdle), 0);
    EXPECT_EQ(plugin->Dispatch(effIdle), 0);
  }
  EXPECT_EQ(plugin->Dispatch(effProcessVarIo, 0, 0, nullptr), 0);
}

TEST_F(Dispatcher, ReopeningAndRestartingAreHarmless) {
  auto plugin = NewInstance();
  ASSERT_TRUE(plugin);
  plugin->Open();
  plugin->Open();
  plugin->Start();
  plugin->Start(48000.0f, 512);
  plugin->Stop();
  plugin->Stop();
  plugin->Start(96000.0f, 256);
  FloatBuffers in(2, std::vector<float>(256, 0.5f));
  FloatBuffers out(2, std::vector<float>(256, 0.0f));
  plugin->ProcessReplacing(in, out);
  for (const auto& channel : out) {
    for (float s : channel) ASSERT_TRUE(std::isfinite(s));
  }
}

}  // namespace
}  // namespace testhost
