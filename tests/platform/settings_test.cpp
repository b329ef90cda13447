// The settings file "veltrane.ini": our reader answers as the Windows call
// GetPrivateProfileStringA does. Built natively this runs our reader; built
// for Windows the same expectations run against the real call under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "effect/Veltrane.h"
#include "platform/ProfileSettings.h"

namespace {

namespace fs = std::filesystem;

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("veltrane-settings-") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Writes the file with the given line ending and returns its path.
  std::string Write(const std::string& name, const std::string& text, const char* newline = "\n") {
    std::string body;
    for (char c : text) {
      if (c == '\n')
        body += newline;
      else
        body += c;
    }
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << body;
    return path.string();
  }
  std::string Missing() const { return (dir_ / "no-such.ini").string(); }

  fs::path dir_;
};

std::string Cc(const std::string& path, int n, const char* fallback = "-1") {
  const std::string key = "CC" + std::to_string(n);
  return ReadProfileString("MIDI Control", key.c_str(), fallback, 63, path.c_str());
}

const char kTypical[] =
    "; Quorvel Veltrane settings\n"
    "[Other]\n"
    "CC1=99\n"
    "[MIDI Control]\n"
    "CC0=07\n"
    "CC1=0\n"
    "CC2=-1\n"
    "CC3=abc\n"
    "  CC4   =   12   \n"
    "cc5=5\n"
    "CC6=\n"
    ";CC7=8\n"
    "# CC8=9\n"
    "CC9=\"10\"\n"
    "CC10='11'\n"
    "CC11=\"12\n"
    "CC12=13 ; a note\n"
    "CC13=14\n"
    "CC13=15\n"
    "CC14=1=2\n"
    "\n"
    "[Later]\n"
    "CC15=16\n";

TEST_F(SettingsFile, AnswersForTheControllerKeys) {
  for (const char* newline : {"\n", "\r\n"}) {
    SCOPED_TRACE(newline[0] == '\r' ? "CRLF" : "LF");
    const std::string path = Write("veltrane.ini", kTypical, newline);
    EXPECT_EQ(Cc(path, 0), "07");
    EXPECT_EQ(Cc(path, 1), "0") << "the section of that name, not another";
    EXPECT_EQ(Cc(path, 2), "-1");
    EXPECT_EQ(Cc(path, 3), "abc");
    EXPECT_EQ(Cc(path, 4), "12") << "blanks around the key, the '=' and the value";
    EXPECT_EQ(Cc(path, 5), "5") << "key names ignore case";
    EXPECT_EQ(Cc(path, 6), "") << "a key without value is there, and empty";
    EXPECT_EQ(Cc(path, 7), "-1") << "a comment line holds no key";
    EXPECT_EQ(Cc(path, 8), "-1");
    EXPECT_EQ(Cc(path, 9), "10") << "matching quotes are removed";
    EXPECT_EQ(Cc(path, 10), "11");
    EXPECT_EQ(Cc(path, 11), "\"12") << "a lone quote stays";
    EXPECT_EQ(Cc(path, 12), "13 ; a note") << "no comments after a value";
    EXPECT_EQ(Cc(path, 13), "14") << "the first of two equal keys";
    EXPECT_EQ(Cc(path, 14), "1=2");
    EXPECT_EQ(Cc(path, 15), "-1") << "a key of a later section";
    EXPECT_EQ(Cc(path, 119), "-1");
  }
}

TEST_F(SettingsFile, MissingFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(Cc(Missing(), 7), "-1");
  EXPECT_EQ(Cc(Missing(), 7, "-1   "), "-1") << "trailing blanks of the default are removed";
  EXPECT_EQ(Cc(Missing(), 7, "default"), "default");
  const std::string other = Write("other.ini", "[Something Else]\nCC7=3\n");
  EXPECT_EQ(Cc(other, 7), "-1");
  const std::string empty = Write("empty.ini", "");
  EXPECT_EQ(Cc(empty, 7), "-1");
  const std::string noKey = Write("nokey.ini", "[MIDI Control]\nCC8=3\n");
  EXPECT_EQ(Cc(noKey, 7), "-1");
}

TEST_F(SettingsFile, SectionNamesIgnoreCaseAndLeadingBlanks) {
  const std::string path = Write("case.ini", "  [midi CONTROL]\nCc7=4\n");
  EXPECT_EQ(Cc(path, 7), "4");
}

TEST_F(SettingsFile, LongValuesAreCutToTheBuffer) {
  std::string value;
  for (int i = 0; i < 100; ++i) value += static_cast<char>('a' + i % 26);
  const std::string path = Write("long.ini", "[MIDI Control]\nCC7=" + value + "\n");
  EXPECT_EQ(Cc(path, 7), value.substr(0, 63));
}

// What a value text makes of a controller's entry.
TEST(ControllerSetting, IntegerValueOrMinusOne) {
  EXPECT_EQ(Effect::ParseControllerSetting("07"), 7);
  EXPECT_EQ(Effect::ParseControllerSetting("0"), 0) << "0 is a parameter when written as 0";
  EXPECT_EQ(Effect::ParseControllerSetting("00"), 0);
  EXPECT_EQ(Effect::ParseControllerSetting("-1"), -1);
  EXPECT_EQ(Effect::ParseControllerSetting("14"), 14);
  EXPECT_EQ(Effect::ParseControllerSetting("12abc"), 12) << "the leading integer";
  EXPECT_EQ(Effect::ParseControllerSetting("abc"), -1);
  EXPECT_EQ(Effect::ParseControllerSetting(""), -1);
  EXPECT_EQ(Effect::ParseControllerSetting("-0"), -1) << "zero, but not written beginning with 0";
  EXPECT_EQ(Effect::ParseControllerSetting("x0"), -1);
}

// The effect reads "veltrane.ini" beside its own module once, at
// construction. In this program the module is the test executable.
TEST(ControllerSetting, MapComesFromTheFileBesideTheModule) {
  std::unique_ptr<Veltrane> probe = std::make_unique<Veltrane>(nullptr);
  const std::string folder = probe->PluginFolder();
  ASSERT_FALSE(folder.empty());
  const char separator = folder.back();
  EXPECT_TRUE(separator == '/' || separator == '\\');
  EXPECT_EQ(probe->SettingsPath(), folder + "veltrane.ini");
  probe.reset();

  const std::string path = folder + "veltrane.ini";
  ASSERT_FALSE(fs::exists(path)) << "a stray " << path << " would change this test";
  std::ofstream(path, std::ios::binary) << "[MIDI Control]\r\nCC7=3\r\nCC10=07\r\nCC11=abc\r\nCC12=0\r\n"
                                           "CC13=-1\r\nCC64 = 14\r\nCC119=2\r\nCC120=5\r\n";
  Veltrane plug(nullptr);
  fs::remove(path);
  EXPECT_EQ(plug.MidiControllerTarget(7), 3);
  EXPECT_EQ(plug.MidiControllerTarget(10), 7);
  EXPECT_EQ(plug.MidiControllerTarget(11), -1);
  EXPECT_EQ(plug.MidiControllerTarget(12), 0);
  EXPECT_EQ(plug.MidiControllerTarget(13), -1);
  EXPECT_EQ(plug.MidiControllerTarget(64), 14);
  EXPECT_EQ(plug.MidiControllerTarget(119), 2);
  EXPECT_EQ(plug.MidiControllerTarget(0), -1) << "not in the file";
  EXPECT_EQ(plug.MidiControllerTarget(120), -1) << "only controllers 0 to 119";

  // Without the file every controller is unassigned.
  Veltrane none(nullptr);
  for (int n = 0; n < 120; ++n) ASSERT_EQ(none.MidiControllerTarget(n), -1) << n;
}

}  // namespace
