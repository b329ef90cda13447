#include "effect/Effect.h"

#include <cstdio>
#include <cstdlib>

#include "effect/VeltraneStateLayout.h"
#include "platform/Module.h"
#include "platform/ProfileSettings.h"
#include "platform/Resources.h"

Effect::Effect(const HostConnection* host, int numParams, const char* channelIOString, int numPresets,
               const char* effectName, const char* productName, const char* makerName, int32_t version,
               int32_t uniqueId, int32_t makerId, EditorWindowFactory makeWindow)
    : IPlugFormat(host, numParams, channelIOString, numPresets, effectName, productName, makerName,
               version, uniqueId, makerId, 0, true, true, false) {
  for (int i = 0; i < 2 && i < NumInputChannels(); ++i) InputAt(i).label.Set("Quorvel Veltrane ");
  for (int i = 0; i < 2 && i < NumOutputChannels(); ++i) OutputAt(i).label.Set("Quorvel Veltrane ");

  mGraphics = makeWindow != nullptr ? makeWindow(this) : nullptr;

  mPluginFolder = PluginModuleFolder();
  char path[1025];
  std::snprintf(path, sizeof path, "%sveltrane.ini", mPluginFolder.c_str());
  mSettingsPath = path;

  for (int n = 0; n < kMidiControllers; ++n) {
    char key[16];
    std::snprintf(key, sizeof key, "CC%i", n);
    mMidiControllerMap[n] =
        ParseControllerSetting(ReadProfileString("MIDI Control", key, "-1", 63, mSettingsPath.c_str()));
  }
}

int Effect::ParseControllerSetting(const std::string& text) {
  if (text.empty()) return -1;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  const int clamped = value > 0x7FFFFFFFL ? 0x7FFFFFFF : value < -0x7FFFFFFFL ? -0x7FFFFFFF : static_cast<int>(value);
  return clamped != 0 || text[0] == '0' ? clamped : -1;
}

void Effect::ActivationChanged(bool active) {
  CriticalSectionGuard guard(mLock);
  if (active) NotifyAllParametersChanged();
}

void Effect::InitEnumParam(int index, const char* name, int defaultValue, int count, const char* const* texts) {
  ParamRecord* param = ParamAt(index);
  if (param == nullptr) return;
  if (param->type == kTypeNone) param->type = kTypeEnum;
  param->SetupDouble(name, defaultValue, 0.0, count - 1, 1.0, 1.0);
  for (int i = 0; i < count; ++i) param->AddValueText(i, texts[i]);
}

void Effect::LoadFactoryBank() {
  const void* data = nullptr;
  size_t size = 0;
  ChunkBuffer chunk(4096);
  if (FindModuleResource("PROGDATA", 0, "PROGINIT", &data, &size) && size > 0 && size < 0x7FFF0000u) {
    chunk.AppendBytes(data, static_cast<int>(size));
  }
  // The bank header is walked, not checked.
  int position = kBankWalkStart;
  int at = 0;
  for (const BankHeaderField& field : kBankHeader) {
    if (at >= kBankWalkStart) position = chunk.HasBytes(position, field.size) ? position + field.size : -1;
    at += field.size;
  }
  int32_t magic = 0;
  if (position >= 0 && chunk.ReadInt(&magic, position) >= 0 && magic == kChunkMagic)
    position = chunk.HasBytes(position, 8) && chunk.Size() > position + 8 ? position + 8 : -1;
  UnserializePresets(chunk, position);
  NotifyHostOfProgramChange();
}
