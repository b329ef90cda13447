// The factory bank inside the library: 32 programs with the names and
// values of the factory table.
#include <cmath>

#include "tests/host/StateSupport.h"
#include "tools/FactoryPrograms.h"

namespace testhost {
namespace {

using FactoryBank = HostTest;

// The table's values as a host reads them after loading the program: while
// "Link L+R" is on the right side equals the left.
Values Expected(const FactoryProgram& program) {
  Values v;
  for (int i = 0; i < 15; ++i) v[i] = program.values[i];
  if (v[kLink] >= 0.5) {
    for (int left : {kVolumeL, kMixL, kModeL, kFreqMinL, kFreqMaxL}) v[left + 1] = v[left];
  }
  return v;
}

// Six significant digits, as the table prints them.
void ExpectSixDigits(const Values& got, const Values& want, const std::string& what) {
  for (int i = 0; i < 15; ++i) {
    EXPECT_LE(std::fabs(got[i] - want[i]), 5e-7 * std::fabs(want[i]) + 1e-12)
        << what << ", parameter " << i << ": " << got[i] << " instead of " << want[i];
  }
}

TEST_F(FactoryBank, NamesAfterConstruction) {
  auto plugin = NewInstance();  // not even opened
  ASSERT_TRUE(plugin);
  const std::vector<ParsedPreset> bank = ParseBank(plugin->GetChunk(false));
  ASSERT_EQ(bank.size(), 32u);
  for (int p = 0; p < kNumFactoryPrograms; ++p) {
    EXPECT_EQ(bank[p].name, kFactoryPrograms[p].name) << "program " << p;
    EXPECT_TRUE(bank[p].initialised) << "program " << p;
    char text[512] = {};
    EXPECT_EQ(plugin->Dispatch(effGetProgramNameIndexed, p, 0, text), 1);
    EXPECT_EQ(std::string(text), kFactoryPrograms[p].name);
  }
  EXPECT_EQ(CurrentProgram(*plugin), 0);
  EXPECT_EQ(plugin->ProgramName(), "Weird Stereo Phasing");
}

TEST_F(FactoryBank, EveryProgramLoadsItsTabledValues) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  // Before any program change the first program is in effect.
  ExpectSixDigits(ValuesOf(*plugin), Expected(kFactoryPrograms[0]), "at start");
  // Backwards too, so no program is read straight after its neighbour.
  for (int pass = 0; pass < 2; ++pass) {
    for (int k = 0; k < kNumFactoryPrograms; ++k) {
      const int p = pass == 0 ? k : kNumFactoryPrograms - 1 - k;
      plugin->Dispatch(effSetProgram, 0, p);
      ASSERT_EQ(CurrentProgram(*plugin), p);
      ExpectSixDigits(ValuesOf(*plugin), Expected(kFactoryPrograms[p]), kFactoryPrograms[p].name);
      EXPECT_EQ(plugin->ProgramName(), kFactoryPrograms[p].name);
    }
  }
  // The stored programs did not drift through all that switching.
  const std::vector<ParsedPreset> bank = ParseBank(plugin->GetChunk(false));
  ASSERT_EQ(bank.size(), 32u);
  for (int p = 0; p < kNumFactoryPrograms; ++p)
    ExpectSixDigits(bank[p].values, Expected(kFactoryPrograms[p]), std::string("stored ") + kFactoryPrograms[p].name);
}

// The linked programs hold equal sides even where a host's automation of
// the right side would try otherwise.
TEST_F(FactoryBank, LinkedProgramsKeepBothSidesTogether) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  for (int p = 0; p < kNumFactoryPrograms; ++p) {
    if (kFactoryPrograms[p].values[kLink] < 0.5) continue;
    plugin->Dispatch(effSetProgram, 0, p);
    plugin->SetParameter(kMixR, 0.25f);
    const Values v = ValuesOf(*plugin);
    EXPECT_EQ(v[kMixL], v[kMixR]) << kFactoryPrograms[p].name;
    EXPECT_NEAR(v[kMixL], 0.25, 1e-7) << kFactoryPrograms[p].name;
  }
}

}  // namespace
}  // namespace testhost
