#include "plugin/IPlugBase.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <thread>

#include "graphics/IGraphics.h"
#include "plugin/DenormalGuard.h"
#include "plugin/Trace.h"

namespace {
// A host may announce any block size; scratch buffers stay within this and
// longer blocks are processed in pieces.
const int kMaxScratchFrames = 1 << 16;
}  // namespace

PresetRecord::PresetRecord() : state(4096) { CopyText(name, "empty", kPresetNameSize); }

IPlugBase::IPlugBase(int numParams, const char* channelIOString, int numPresets, const char* effectName,
                     const char* productName, const char* makerName, int32_t version, int32_t uniqueId,
                     int32_t makerId, int latency, bool takesMidi, bool usesChunks, bool isInstrument)
    : mVersion(version),
      mUniqueId(uniqueId),
      mMakerId(makerId),
      mLatency(latency),
      mTakesMidi(takesMidi),
      mUsesChunks(usesChunks),
      mIsInstrument(isInstrument) {
  Trace("IPlugBase::IPlugBase", "%s", effectName);
  CopyText(mEffectName, effectName, kNameSize);
  CopyText(mProductName, productName, kNameSize);
  CopyText(mMakerName, makerName, kNameSize);

  for (int i = 0; i < numParams; ++i) mParams.push_back(new ParamRecord());
  for (int i = 0; i < numPresets; ++i) mPresets.push_back(new PresetRecord());

  // "in-out in-out ...": one pair per token; unreadable counts are 0.
  int maxIn = 0, maxOut = 0;
  const char* at = channelIOString != nullptr ? channelIOString : "";
  for (;;) {
    ChannelIOPair* pair = new ChannelIOPair();
    if (std::sscanf(at, "%d-%d", &pair->numInputs, &pair->numOutputs) < 2) {
      // sscanf leaves what it could not read untouched: zero already.
    }
    mIOPairs.push_back(pair);
    if (pair->numInputs > maxIn) maxIn = pair->numInputs;
    if (pair->numOutputs > maxOut) maxOut = pair->numOutputs;
    const char* space = std::strchr(at, ' ');
    if (space == nullptr) break;
    at = space + 1;
  }
  mInputPointers.assign(static_cast<size_t>(maxIn), nullptr);
  mOutputPointers.assign(static_cast<size_t>(maxOut), nullptr);
  for (int i = 0; i < maxIn; ++i) {
    InputChannel* channel = new InputChannel();
    channel->slot = &mInputPointers[static_cast<size_t>(i)];
    mInputs.push_back(channel);
  }
  for (int i = 0; i < maxOut; ++i) {
    OutputChannel* channel = new OutputChannel();
    channel->slot = &mOutputPointers[static_cast<size_t>(i)];
    mOutputs.push_back(channel);
  }
}

IPlugBase::~IPlugBase() {
  // The editor with its controls goes first: it may still close its window.
  delete mEditor;
  mEditor = nullptr;
  for (size_t i = mParams.size(); i-- > 0;) delete mParams[i];
  for (size_t i = mPresets.size(); i-- > 0;) delete mPresets[i];
  for (size_t i = mInputs.size(); i-- > 0;) delete mInputs[i];
  for (size_t i = mOutputs.size(); i-- > 0;) delete mOutputs[i];
  for (size_t i = mIOPairs.size(); i-- > 0;) delete mIOPairs[i];
}

void IPlugBase::ResetProcessing() { CriticalSectionGuard guard(mLock); }

void IPlugBase::ParameterChanged(int index) { CriticalSectionGuard guard(mLock); }

void IPlugBase::ActivationChanged(bool active) { CriticalSectionGuard guard(mLock); }

void IPlugBase::ProcessBlock(double** inputs, double** outputs, int frames) {
  const int numIn = NumInputChannels();
  for (int i = 0; i < NumOutputChannels(); ++i) {
    if (i < numIn)
      std::memmove(outputs[i], inputs[i], sizeof(double) * static_cast<size_t>(frames));
    else
      std::memset(outputs[i], 0, sizeof(double) * static_cast<size_t>(frames));
  }
}

bool IPlugBase::MidiKeyNameFor(int key, char* name) {
  if (name != nullptr) name[0] = '\0';
  return false;
}

// Parameters

ParamRecord* IPlugBase::ParamAt(int index) const {
  if (index < 0 || index >= NumParams()) return nullptr;
  return mParams[static_cast<size_t>(index)];
}

bool IPlugBase::StateMatches(const double* values, int start) {
  for (int i = 0; i < NumParams(); ++i) {
    const float current = static_cast<float>(mParams[static_cast<size_t>(i)]->value);
    const float stored = static_cast<float>(values[start + i]);
    if (!(std::fabs(current - stored) < 0.00001f)) return false;
  }
  return true;
}

void IPlugBase::SetParameterFromEditor(int index, double normalised) {
  ChangeParameter(index, normalised, ValueSource::kEditor);
}

void IPlugBase::ChangeParameter(int index, double value, ValueSource source) {
  ParamRecord* param = ParamAt(index);
  if (param == nullptr) return;
  CriticalSectionGuard guard(mLock);
  switch (source) {
    case ValueSource::kHost:
      if (mEditor != nullptr) mEditor->PushParameterValue(index, value, true);
      param->SetFromNormalized(value);
      ParameterChanged(index);
      break;
    case ValueSource::kHostText:
      if (mEditor != nullptr) mEditor->PushParameterValue(index, value, false);
      param->SetClamped(value);
      ParameterChanged(index);
      break;
    case ValueSource::kEditor:
    case ValueSource::kLinkPartner:
      // The host still hears of a partner that already agrees; its value
      // stays exactly as it was set.
      if (!(source == ValueSource::kLinkPartner && mKeepAgreeingPartners && param->NormalizedValue() == value))
        param->SetFromNormalized(value);
      NotifyHostOfParameter(index, value);
      ParameterChanged(index);
      // The control that made an editor change already shows it.
      if (source == ValueSource::kLinkPartner && mEditor != nullptr) mEditor->PushParameterValue(index, value, true);
      break;
  }
}

void IPlugBase::ChangeParameters(const ParamChange* changes, int count, ValueSource source) {
  if (changes == nullptr || count <= 0) return;
  CriticalSectionGuard guard(mLock);
  const int switchIndex = BatchSwitch();
  const ParamChange* last = nullptr;
  for (int i = 0; i < count; ++i)
    if (changes[i].index == switchIndex) last = &changes[i];
  const bool normalised = source == ValueSource::kHost || source == ValueSource::kEditor;
  const ParamRecord* sw = last != nullptr ? ParamAt(switchIndex) : nullptr;
  if (sw != nullptr) ChangeParameter(switchIndex, normalised ? 0.0 : sw->minimum, source);
  for (int i = 0; i < count; ++i)
    if (changes[i].index != switchIndex) ChangeParameter(changes[i].index, changes[i].value, source);
  // Values the host set as they are stay as they are when the link comes on.
  mKeepAgreeingPartners = !normalised;
  if (sw != nullptr && (normalised ? last->value > 0.0 : last->value > sw->minimum))
    ChangeParameter(switchIndex, last->value, source);
  mKeepAgreeingPartners = false;
}

void IPlugBase::NotifyAllParametersChanged() {
  for (int i = 0; i < NumParams(); ++i) ParameterChanged(i);
}

void IPlugBase::NotifyHostOfAllParameters() {
  CriticalSectionGuard guard(mLock);
  for (int i = 0; i < NumParams(); ++i) NotifyHostOfParameter(i, mParams[static_cast<size_t>(i)]->NormalizedValue());
}

void IPlugBase::AttachEditor(IGraphics* editor) {
  if (editor == nullptr) return;
  CriticalSectionGuard guard(mLock);
  // The plug-in owns its editor; a replaced one goes now.
  if (mEditor != editor) delete mEditor;
  mEditor = editor;
  PushAllToEditor();
  editor->PrepareSurfaces();
}

void IPlugBase::RefreshEditorControls() { PushAllToEditor(); }

void IPlugBase::SetHostScale(double scale) {
  if (mEditor != nullptr) mEditor->SetScaleFrom(IGraphics::kScaleHost, scale);
}

bool IPlugBase::EditorPixelSize(int* width, int* height) {
  if (mEditor == nullptr || width == nullptr || height == nullptr) return false;
  // An open window keeps the scale of the screen it is on.
  if (!mEditor->IsWindowOpen()) mEditor->RefreshScale(nullptr);
  *width = mEditor->WindowWidth();
  *height = mEditor->WindowHeight();
  return true;
}

void IPlugBase::PushAllToEditor() {
  if (mEditor == nullptr) return;
  CriticalSectionGuard guard(mLock);
  for (int i = 0; i < NumParams(); ++i) mEditor->PushParameterValue(i, mParams[static_cast<size_t>(i)]->value, false);
}

bool IPlugBase::SerializeParams(ChunkBuffer& chunk) {
  CriticalSectionGuard guard(mLock);
  bool ok = true;
  for (int i = 0; i < NumParams() && ok; ++i) {
    const ParamRecord* param = mParams[static_cast<size_t>(i)];
    const int before = chunk.Size();
    ok = chunk.AppendDouble(param->value) > before;
    Trace("IPlugBase::SerializeParams", "%d %s %f", i, param->name, param->value);
  }
  return ok;
}

int IPlugBase::UnserializeParams(const ChunkBuffer& chunk, int position) {
  CriticalSectionGuard guard(mLock);
  for (int i = 0; i < NumParams() && position >= 0; ++i) {
    ParamRecord* param = mParams[static_cast<size_t>(i)];
    double v = 0.0;
    position = chunk.ReadDouble(&v, position);
    if (position < 0) v = 0.0;
    param->SetClamped(v);
    Trace("IPlugBase::UnserializeParams", "%d %s %f", i, param->name, param->value);
  }
  NotifyAllParametersChanged();
  return position;
}

// Presets

PresetRecord* IPlugBase::PresetAt(int index) const {
  if (index < 0 || index >= NumPresets()) return nullptr;
  return mPresets[static_cast<size_t>(index)];
}

const char* IPlugBase::PresetName(int index) const {
  const PresetRecord* preset = PresetAt(index);
  return preset != nullptr ? preset->name : "";
}

void IPlugBase::FillEmptyPresets(int count) {
  for (int pass = 0; pass < count; ++pass) {
    for (PresetRecord* preset : mPresets) {
      if (preset->initialised) continue;
      preset->initialised = true;
      CopyText(preset->name, "Empty", kPresetNameSize);
      preset->state.Resize(0);
      WriteState(preset->state);
      break;
    }
  }
}

bool IPlugBase::LoadPreset(int index) {
  PresetRecord* preset = PresetAt(index);
  if (preset == nullptr) return false;
  CriticalSectionGuard guard(mLock);
  bool ok;
  if (preset->initialised) {
    ok = ReadState(preset->state, 0) > 0;
  } else {
    preset->initialised = true;
    int count = 0;
    for (const PresetRecord* other : mPresets)
      if (std::strstr(other->name, "user preset") != nullptr) ++count;
    std::snprintf(preset->name, kPresetNameSize, "%s %d", "user preset", count + 1);
    // A slot a bank marked empty may still hold an old state.
    preset->state.Resize(0);
    ok = WriteState(preset->state);
  }
  if (ok) {
    mCurrentPreset = index;
    PresetsChanged();
    RefreshEditorControls();
  }
  return ok;
}

void IPlugBase::ModifyCurrentPreset(const char* name) {
  PresetRecord* preset = PresetAt(mCurrentPreset);
  if (preset == nullptr) return;
  CriticalSectionGuard guard(mLock);
  preset->state.Resize(0);
  Trace("IPlugBase::ModifyCurrentPreset", "%d %s", mCurrentPreset, name != nullptr ? name : "");
  WriteState(preset->state);
  if (name != nullptr && name[0] != '\0') CopyText(preset->name, name, kPresetNameSize);
}

bool IPlugBase::SerializePresets(ChunkBuffer& chunk) {
  CriticalSectionGuard guard(mLock);
  bool ok = true;
  for (int i = 0; i < NumPresets() && ok; ++i) {
    const PresetRecord* preset = mPresets[static_cast<size_t>(i)];
    const int before = chunk.Size();
    ok = chunk.AppendString(preset->name) > before;
    Trace("IPlugBase::SerializePresets", "%d %s", i, preset->name);
    ok = ok && chunk.AppendBool(preset->initialised) > before;
    if (ok && preset->initialised && preset->state.Size() > 0) {
      const int size = chunk.Size();
      ok = chunk.AppendBytes(preset->state.Data(), preset->state.Size()) > size;
    }
    ok = ok && chunk.Size() > 0;
  }
  return ok;
}

bool IPlugBase::WriteProgramChunk(ChunkBuffer& chunk) {
  CriticalSectionGuard guard(mLock);
  WriteVersionHeader(chunk);
  bool ok = WriteState(chunk);
  if (ok) {
    const int before = chunk.Size();
    ok = chunk.AppendString(PresetName(CurrentPresetIndex())) > before;
  }
  return ok && chunk.Size() > 0;
}

int IPlugBase::ReadProgram(const ChunkBuffer& chunk, int position) {
  CriticalSectionGuard guard(mLock);
  position = ReadState(chunk, position);
  if (position >= 0 && position < chunk.Size()) {
    char name[kPresetNameSize];
    position = chunk.ReadString(name, kPresetNameSize, position);
    ModifyCurrentPreset(name);
  } else if (position == chunk.Size()) {
    ModifyCurrentPreset(nullptr);
  }
  return position;
}

int IPlugBase::UnserializePresets(const ChunkBuffer& chunk, int position) {
  CriticalSectionGuard guard(mLock);
  GrowableText name;  // carries over from one preset to the next
  for (int i = 0; i < NumPresets() && position >= 0; ++i) {
    PresetRecord* preset = mPresets[static_cast<size_t>(i)];
    position = chunk.ReadString(&name, position);
    // Names longer than a slot holds keep their first 255 characters.
    CopyText(preset->name, name.Get(), kPresetNameSize);
    Trace("IPlugBase::UnserializePresets", "%d %s", i, preset->name);
    bool initialised = preset->initialised;
    const int afterFlag = chunk.ReadBool(&initialised, position);
    position = afterFlag;
    if (afterFlag >= 0) preset->initialised = initialised;
    if (preset->initialised && position >= 0) {
      position = ReadState(chunk, position);
      if (position > 0) {
        preset->state.Resize(0);
        WriteState(preset->state);
      }
    }
  }
  LoadPreset(mCurrentPreset);
  return position;
}

// State as hosts keep it

int IPlugBase::StateEnd(const ChunkBuffer& chunk, int position) const {
  const int bytes = 8 * NumParams();
  return chunk.HasBytes(position, bytes) ? position + bytes : -1;
}

int IPlugBase::ProgramEnd(const ChunkBuffer& chunk, int position) const {
  position = StateEnd(chunk, position);
  if (position < 0 || position == chunk.Size()) return position;
  // The name, whole.
  int32_t length = 0;
  if (chunk.ReadInt(&length, position) < 0 || length < 0 || !chunk.HasBytes(position + 4, length)) return -1;
  return position + 4 + length;
}

int IPlugBase::BankEnd(const ChunkBuffer& chunk, int position) const {
  for (int i = 0; i < NumPresets() && position >= 0; ++i) {
    int32_t length = 0;
    if (chunk.ReadInt(&length, position) < 0 || length < 0 || !chunk.HasBytes(position + 4, length)) return -1;
    position += 4 + length;
    bool initialised = false;
    position = chunk.ReadBool(&initialised, position);
    if (position >= 0 && initialised) position = StateEnd(chunk, position);
  }
  return position;
}

int IPlugBase::SessionEnd(const ChunkBuffer& chunk, int position) const {
  int32_t current = -1;
  position = chunk.ReadInt(&current, position);
  if (position < 0 || current < 0 || current >= NumPresets()) return -1;
  position = BankEnd(chunk, position);
  return position >= 0 ? StateEnd(chunk, position) : -1;
}

bool IPlugBase::WriteHostState(ChunkBuffer& chunk, StateKind kind) {
  CriticalSectionGuard guard(mLock);
  switch (kind) {
    case StateKind::kProgram:
      return WriteProgramChunk(chunk);
    case StateKind::kBank:
      WriteVersionHeader(chunk);
      ModifyCurrentPreset(nullptr);
      return SerializePresets(chunk) && chunk.Size() > 0;
    case StateKind::kSession: {
      // The current preset keeps the current values, as a switch to
      // another program would keep them, and as a bank chunk has them.
      ModifyCurrentPreset(nullptr);
      chunk.Clear();
      chunk.AppendInt(kChunkMagic);
      chunk.AppendInt(kSessionVersion);
      const int before = chunk.Size();
      if (chunk.AppendInt(mCurrentPreset) <= before) return false;
      return SerializePresets(chunk) && WriteState(chunk);
    }
  }
  return false;
}

bool IPlugBase::ReadHostState(const ChunkBuffer& chunk, StateAccepts accepts, int program) {
  CriticalSectionGuard guard(mLock);
  int position = 0;
  const int32_t version = ReadVersionHeader(chunk, &position);
  if (position < 0 || version > kSessionVersion) return false;  // cut short, or a later version's
  const int size = chunk.Size();
  if (version == kSessionVersion) {
    if (SessionEnd(chunk, position) != size) return false;
    ReadSession(chunk, position);
    return true;
  }
  const bool bankFormat = version >= kChunkVersion;
  bool asBank = bankFormat && accepts == StateAccepts::kBank;
  if (!asBank && ProgramEnd(chunk, position) != size) {
    if (!(bankFormat && accepts == StateAccepts::kAny)) return false;
    asBank = true;
  }
  if (asBank) {
    if (BankEnd(chunk, position) != size) return false;
    UnserializePresets(chunk, position);
    return true;
  }
  if (program >= 0 && program < NumPresets()) mCurrentPreset = program;
  ReadProgram(chunk, position);
  return true;
}

void IPlugBase::ReadSession(const ChunkBuffer& chunk, int position) {
  int32_t current = 0;
  position = chunk.ReadInt(&current, position);
  // The programs as they were kept, byte for byte.
  char name[kPresetNameSize];
  for (int i = 0; i < NumPresets(); ++i) {
    PresetRecord* preset = mPresets[static_cast<size_t>(i)];
    position = chunk.ReadString(name, kPresetNameSize, position);
    CopyText(preset->name, name, kPresetNameSize);
    bool initialised = false;
    position = chunk.ReadBool(&initialised, position);
    preset->initialised = initialised;
    if (!initialised) continue;
    const int end = StateEnd(chunk, position);
    preset->state.Resize(0);
    preset->state.AppendBytes(chunk.Data() + position, end - position);
    position = end;
  }
  mCurrentPreset = current;
  mKeepAgreeingPartners = true;
  ReadState(chunk, position);
  mKeepAgreeingPartners = false;
  PresetsChanged();
  RefreshEditorControls();
}

uint64_t SilentOutputs(const AudioBlock& block, int channels) {
  uint64_t mask = 0;
  for (int c = 0; c < channels && c < 64; ++c) {
    bool silent = true;
    if (block.doubles) {
      const double* out = block.out64 != nullptr ? block.out64[c] : nullptr;
      if (out == nullptr) continue;
      for (int i = 0; i < block.frames && silent; ++i) silent = out[i] == 0.0;
    } else {
      const float* out = block.out32 != nullptr ? block.out32[c] : nullptr;
      if (out == nullptr) continue;
      for (int i = 0; i < block.frames && silent; ++i) silent = out[i] == 0.0f;
    }
    if (silent) mask |= uint64_t{1} << c;
  }
  return mask;
}

const char* BypassText(bool on) { return on ? "On" : "Off"; }

bool BypassFromText(const char* text, bool* on) {
  if (text == nullptr) return false;
  while (*text == ' ') ++text;
  size_t length = std::strlen(text);
  while (length > 0 && text[length - 1] == ' ') --length;
  auto is = [&](const char* word) {
    if (std::strlen(word) != length) return false;
    for (size_t i = 0; i < length; ++i)
      if ((text[i] >= 'A' && text[i] <= 'Z' ? text[i] - 'A' + 'a' : text[i]) != word[i]) return false;
    return true;
  };
  if (is("on") || is("1")) {
    *on = true;
  } else if (is("off") || is("0")) {
    *on = false;
  } else {
    return false;
  }
  return true;
}

// Channel I/O

bool IPlugBase::LegalIO(int nIn, int nOut) const {
  for (const ChannelIOPair* pair : mIOPairs)
    if ((nIn < 0 || pair->numInputs == nIn) && (nOut < 0 || pair->numOutputs == nOut)) return true;
  return false;
}

void IPlugBase::SetInputConnected(int i, bool connected) {
  AudioReconfiguration change(*this);
  InputChannel& channel = *mInputs[static_cast<size_t>(i)];
  channel.connected = connected;
  if (!connected) *channel.slot = channel.scratch.data();
}

void IPlugBase::SetOutputConnected(int i, bool connected) {
  AudioReconfiguration change(*this);
  OutputChannel& channel = *mOutputs[static_cast<size_t>(i)];
  channel.connected = connected;
  if (!connected) *channel.slot = channel.scratch.data();
}

void IPlugBase::ChangeBlockSize(int frames) {
  if (frames == mBlockSize) return;
  AudioReconfiguration change(*this);
  int scratch = frames < 1 ? 1 : frames;
  if (scratch > kMaxScratchFrames) scratch = kMaxScratchFrames;
  for (InputChannel* channel : mInputs) {
    channel->scratch.assign(static_cast<size_t>(scratch), 0.0);
    channel->dry.assign(static_cast<size_t>(scratch), 0.0);
    if (!channel->connected) *channel->slot = channel->scratch.data();
  }
  for (OutputChannel* channel : mOutputs) {
    channel->scratch.assign(static_cast<size_t>(scratch), 0.0);
    if (!channel->connected) *channel->slot = channel->scratch.data();
  }
  mScratchFrames = scratch;
  mBlockSize = frames;
}

void IPlugBase::BindFloatBuffers(float** inputs, float** outputs, int offset, int frames) {
  int hostIndex = 0;
  for (InputChannel* channel : mInputs) {
    if (!channel->connected) continue;
    double* scratch = channel->scratch.data();
    const float* source = inputs != nullptr ? inputs[hostIndex] : nullptr;
    ++hostIndex;
    if (source != nullptr) {
      source += offset;
      for (int i = 0; i < frames; ++i) scratch[i] = source[i];
    } else {
      std::memset(scratch, 0, sizeof(double) * static_cast<size_t>(frames));
    }
    *channel->slot = scratch;
  }
  hostIndex = 0;
  for (OutputChannel* channel : mOutputs) {
    if (!channel->connected) continue;
    *channel->slot = channel->scratch.data();
    float* destination = outputs != nullptr ? outputs[hostIndex] : nullptr;
    ++hostIndex;
    channel->hostDestination = destination != nullptr ? destination + offset : nullptr;
  }
}

void IPlugBase::BindDoubleBuffers(double** inputs, double** outputs, int offset, int frames) {
  int hostIndex = 0;
  for (InputChannel* channel : mInputs) {
    if (!channel->connected) continue;
    double* source = inputs != nullptr ? inputs[hostIndex] : nullptr;
    ++hostIndex;
    if (source != nullptr) {
      *channel->slot = source + offset;
    } else {
      std::memset(channel->scratch.data(), 0, sizeof(double) * static_cast<size_t>(frames));
      *channel->slot = channel->scratch.data();
    }
  }
  hostIndex = 0;
  for (OutputChannel* channel : mOutputs) {
    if (!channel->connected) continue;
    double* destination = outputs != nullptr ? outputs[hostIndex] : nullptr;
    ++hostIndex;
    *channel->slot = destination != nullptr ? destination + offset : channel->scratch.data();
  }
}

void IPlugBase::AttachFloatBuffers(float** inputs, float** outputs, int frames) {
  if (mTakesMidi) WantMidiThisBlock();
  BindFloatBuffers(inputs, outputs, 0, frames);
}

void IPlugBase::AttachDoubleBuffers(double** inputs, double** outputs, int frames) {
  if (mTakesMidi) WantMidiThisBlock();
  BindDoubleBuffers(inputs, outputs, 0, frames);
}

void IPlugBase::ProcessFloatPiece(float** inputs, float** outputs, int offset, int frames, bool accumulate) {
  const int kDirectChannels = 8;
  float* in[kDirectChannels];
  float* out[kDirectChannels];
  bool direct = !accumulate && inputs != nullptr && outputs != nullptr && NumInputChannels() <= kDirectChannels &&
                NumOutputChannels() <= kDirectChannels;
  for (int i = 0; direct && i < NumInputChannels(); ++i) {
    direct = mInputs[static_cast<size_t>(i)]->connected && inputs[i] != nullptr;
    if (direct) in[i] = inputs[i] + offset;
  }
  for (int i = 0; direct && i < NumOutputChannels(); ++i) {
    direct = mOutputs[static_cast<size_t>(i)]->connected && outputs[i] != nullptr;
    if (direct) out[i] = outputs[i] + offset;
  }
  if (direct && ProcessFloatBlock(in, out, frames)) return;
  BindFloatBuffers(inputs, outputs, offset, frames);
  ProcessBlock(InputPointers(), OutputPointers(), frames);
  WriteBackFloatOutputs(frames, accumulate);
}

void IPlugBase::WriteBackFloatOutputs(int frames, bool accumulate) {
  for (OutputChannel* channel : mOutputs) {
    if (!channel->connected || channel->hostDestination == nullptr) continue;
    const double* source = channel->scratch.data();
    float* destination = channel->hostDestination;
    if (accumulate) {
      for (int i = 0; i < frames; ++i) destination[i] += static_cast<float>(source[i]);
    } else {
      for (int i = 0; i < frames; ++i) destination[i] = static_cast<float>(source[i]);
    }
  }
}

// Audio

IPlugBase::AudioReconfiguration::AudioReconfiguration(IPlugBase& plug) : mPlug(plug) {
  mPlug.mReconfiguring.fetch_add(1);
  // A block that started without the section before this change finishes
  // first; later ones see the count and stay silent.
  while (mPlug.mAudioWithoutSection.load()) std::this_thread::yield();
}

IPlugBase::AudioReconfiguration::~AudioReconfiguration() { mPlug.mReconfiguring.fetch_sub(1); }

void IPlugBase::ChangeSampleRate(double rate) {
  AudioReconfiguration change(*this);
  mSampleRate = rate;
}

void IPlugBase::Activate(bool active) {
  CriticalSectionGuard guard(mLock);
  ActivationChanged(active);
  if (active) return;
  ResetProcessing();
  mBypassFadeEnds = true;
}

void IPlugBase::KeepDryInputs(const AudioBlock& block, int offset, int frames) {
  int hostIndex = 0;
  for (InputChannel* channel : mInputs) {
    double* dry = channel->dry.data();
    const int at = hostIndex;
    if (channel->connected) ++hostIndex;
    const double* in64 = channel->connected && block.doubles && block.in64 != nullptr ? block.in64[at] : nullptr;
    const float* in32 = channel->connected && !block.doubles && block.in32 != nullptr ? block.in32[at] : nullptr;
    if (in64 != nullptr) {
      std::memcpy(dry, in64 + offset, sizeof(double) * static_cast<size_t>(frames));
    } else if (in32 != nullptr) {
      for (int i = 0; i < frames; ++i) dry[i] = in32[offset + i];
    } else {
      std::memset(dry, 0, sizeof(double) * static_cast<size_t>(frames));
    }
  }
}

void IPlugBase::CrossfadeToDry(const AudioBlock& block, int offset, int frames) {
  // A straight line from the effect to the input over the fade, frame by
  // frame; at its end the output is the input exactly.
  const long rounded = std::lround(kBypassFadeSeconds * mSampleRate);
  const int fade = rounded > 1 ? static_cast<int>(rounded) : 1;
  if (mBypassFrames > fade) mBypassFrames = fade;
  const int step = mBypassAudio ? 1 : -1;
  const double perFrame = 1.0 / fade;
  int hostIndex = 0;
  for (int c = 0; c < NumOutputChannels(); ++c) {
    if (!mOutputs[static_cast<size_t>(c)]->connected) continue;
    const int at = hostIndex++;
    double* out64 = block.doubles && block.out64 != nullptr ? block.out64[at] : nullptr;
    float* out32 = !block.doubles && block.out32 != nullptr ? block.out32[at] : nullptr;
    if (out64 == nullptr && out32 == nullptr) continue;
    const double* dry = c < NumInputChannels() ? mInputs[static_cast<size_t>(c)]->dry.data() : nullptr;
    int position = mBypassFrames;
    for (int i = 0; i < frames; ++i) {
      position += step;
      if (position < 0) position = 0;
      if (position > fade) position = fade;
      const double input = dry != nullptr ? dry[i] : 0.0;
      const double wet = out64 != nullptr ? out64[offset + i] : out32[offset + i];
      const double mixed = position == fade ? input : position == 0 ? wet : wet + (input - wet) * (position * perFrame);
      if (out64 != nullptr)
        out64[offset + i] = mixed;
      else
        out32[offset + i] = static_cast<float>(mixed);
    }
  }
  mBypassFrames += step * frames;
  if (mBypassFrames < 0) mBypassFrames = 0;
  if (mBypassFrames > fade) mBypassFrames = fade;
}

void IPlugBase::ProcessPiece(const AudioBlock& block, int offset, int frames) {
  mPieceOffset = offset;
  const bool bypassing = (mBypassAudio || mBypassFrames > 0) && !block.accumulate && frames > 0;
  if (bypassing) KeepDryInputs(block, offset, frames);
  ProcessEffectPiece(block, offset, frames);
  if (bypassing) CrossfadeToDry(block, offset, frames);
}

void IPlugBase::ProcessEffectPiece(const AudioBlock& block, int offset, int frames) {
  if (block.doubles) {
    BindDoubleBuffers(const_cast<double**>(block.in64), const_cast<double**>(block.out64), offset, frames);
    ProcessBlock(InputPointers(), OutputPointers(), frames);
  } else if (frames > 0) {
    ProcessFloatPiece(const_cast<float**>(block.in32), const_cast<float**>(block.out32), offset, frames,
                      block.accumulate);
  } else {
    BindFloatBuffers(const_cast<float**>(block.in32), const_cast<float**>(block.out32), offset, 0);
    ProcessBlock(InputPointers(), OutputPointers(), 0);
  }
}

void IPlugBase::SilenceOutputs(const AudioBlock& block) {
  if (block.accumulate || block.frames <= 0) return;
  for (int i = 0; i < NumOutputChannels(); ++i) {
    if (block.doubles && block.out64 != nullptr && block.out64[i] != nullptr)
      std::memset(block.out64[i], 0, sizeof(double) * static_cast<size_t>(block.frames));
    if (!block.doubles && block.out32 != nullptr && block.out32[i] != nullptr)
      std::memset(block.out32[i], 0, sizeof(float) * static_cast<size_t>(block.frames));
  }
}

bool IPlugBase::ProcessAudio(const AudioBlock& block, BlockEvents* events) {
  DenormalGuard flush;
  const int frames = block.frames > 0 ? block.frames : 0;
  if (mTakesMidi) WantMidiThisBlock();
  if (!mLock.TryEnter()) {
    // Another thread is handing something over: this block keeps the
    // settings the signal path has, and what came with it waits.
    if (events != nullptr) events->KeepForNextBlock();
    mAudioWithoutSection.store(true);
    if (mReconfiguring.load() != 0) {
      SilenceOutputs(block);
    } else if (frames == 0) {
      ProcessPiece(block, 0, 0);
    } else {
      for (int position = 0; position < frames;) {
        const int piece = frames - position < ScratchFrames() ? frames - position : ScratchFrames();
        ProcessPiece(block, position, piece);
        position += piece;
      }
    }
    mAudioWithoutSection.store(false);
    mPieceOffset = 0;
    return false;
  }
  if (events != nullptr) events->BlockBegins();
  // Pieces end where the scratch buffers end and where the host changes
  // something, each change applied at its frame.
  int position = 0;
  auto applyUntil = [&](int at) {
    const int after = events != nullptr ? events->ApplyUntil(at, frames) : frames;
    return after > at && after < frames ? after : frames;
  };
  int next = applyUntil(0);
  if (frames == 0) {
    HandOverToAudio();
    ProcessPiece(block, 0, 0);
  }
  while (position < frames) {
    const int end = next - position < ScratchFrames() ? next : position + ScratchFrames();
    HandOverToAudio();
    mBypassAudio = mBypassed;
    if (mBypassFadeEnds) mBypassFrames = mBypassed ? 1 << 30 : 0;  // clamped to the fade
    mBypassFadeEnds = false;
    ProcessPiece(block, position, end - position);
    position = end;
    if (position == next) next = applyUntil(position);
  }
  if (events != nullptr) events->BlockEnds();
  mPieceOffset = 0;
  mLock.Leave();
  return true;
}
