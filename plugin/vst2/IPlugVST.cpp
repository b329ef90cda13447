#include "plugin/vst2/IPlugVST.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "graphics/IGraphics.h"
#include "plugin/Trace.h"

namespace {

IPlugVST* PluginOf(AEffect* effect) {
  return effect != nullptr ? static_cast<IPlugVST*>(effect->object) : nullptr;
}

VstInt32 ArrangementType(int channels) {
  if (channels <= 0) return kSpeakerArrEmpty;
  if (channels == 1) return kSpeakerArrMono;
  if (channels == 2) return kSpeakerArrStereo;
  return kSpeakerArrUserDefined;
}

int ClampToInt(VstIntPtr value) {
  if (value > 0x7FFFFFFF) return 0x7FFFFFFF;
  if (value < -0x7FFFFFFF) return -0x7FFFFFFF;
  return static_cast<int>(value);
}

bool PointsInto(const void* data, const ChunkBuffer& chunk) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  return chunk.Data() != nullptr && bytes >= chunk.Data() && bytes < chunk.Data() + chunk.Capacity();
}

}  // namespace

// A VST 2.4 instance opens its own editor.
bool InstanceHasEditor(const HostConnection*) { return true; }

IPlugVST::IPlugVST(const HostConnection* host, int numParams, const char* channelIOString, int numPresets,
                   const char* effectName, const char* productName, const char* makerName, int32_t version,
                   int32_t uniqueId, int32_t makerId, int latency, bool takesMidi, bool usesChunks,
                   bool isInstrument)
    : IPlugBase(numParams, channelIOString, numPresets, effectName, productName, makerName, version, uniqueId,
                makerId, latency, takesMidi, usesChunks, isInstrument),
      mHostCallback(host != nullptr ? host->callback : nullptr),
      mStateChunk(4096),
      mBankChunk(4096) {
  std::memset(&mAEffect, 0, sizeof mAEffect);
  mAEffect.magic = kEffectMagic;
  mAEffect.dispatcher = &VSTDispatcher;
  mAEffect.process = &VSTProcess;
  mAEffect.setParameter = &VSTSetParameter;
  mAEffect.getParameter = &VSTGetParameter;
  mAEffect.numPrograms = numPresets;
  mAEffect.numParams = numParams;
  mAEffect.numInputs = NumInputChannels();
  mAEffect.numOutputs = NumOutputChannels();
  mAEffect.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing;
  if (usesChunks) mAEffect.flags |= effFlagsProgramChunks;
  if (isInstrument) mAEffect.flags |= effFlagsIsSynth;
  if (LegalIO(1, -1)) mAEffect.flags |= effFlagsCanMono;
  mAEffect.initialDelay = latency;
  mAEffect.ioRatio = 1.0f;
  mAEffect.object = this;
  mAEffect.uniqueID = uniqueId;
  mAEffect.version = (version >> 16) * 10000 + ((version >> 8) & 0xFF) * 100 + (version & 0xFF);
  mAEffect.processReplacing = &VSTProcessReplacing;
  mAEffect.processDoubleReplacing = &VSTProcessDoubleReplacing;

  std::memset(&mEditorRect, 0, sizeof mEditorRect);
  std::memset(&mInputArrangement, 0, sizeof mInputArrangement);
  std::memset(&mOutputArrangement, 0, sizeof mOutputArrangement);
  mInputArrangement.numChannels = NumInputChannels();
  mInputArrangement.type = ArrangementType(NumInputChannels());
  mOutputArrangement.numChannels = NumOutputChannels();
  mOutputArrangement.type = ArrangementType(NumOutputChannels());

  for (int i = 0; i < NumInputChannels(); ++i) InputAt(i).connected = true;
  for (int i = 0; i < NumOutputChannels(); ++i) OutputAt(i).connected = true;
  ChangeBlockSize(1024);
}

IPlugVST::~IPlugVST() {
  // The chunk buffers go first, then IPlugBase releases the rest.
}

// Host calls

VstIntPtr IPlugVST::HostCall(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (mHostCallback == nullptr) return 0;
  return mHostCallback(&mAEffect, opcode, index, value, ptr, opt);
}

void IPlugVST::BeginParameterEdit(int index) { HostCall(audioMasterBeginEdit, index, 0, nullptr, 0.0f); }

void IPlugVST::NotifyHostOfParameter(int index, double normalised) {
  HostCall(audioMasterAutomate, index, 0, nullptr, static_cast<float>(normalised));
}

void IPlugVST::EndParameterEdit(int index) { HostCall(audioMasterEndEdit, index, 0, nullptr, 0.0f); }

void IPlugVST::NotifyHostOfProgramChange() { HostCall(audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f); }

bool IPlugVST::IsOffline() {
  return HostCall(audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f) == kVstProcessLevelOffline;
}

void IPlugVST::WantMidiThisBlock() { HostCall(audioMasterWantMidi, 0, 0, nullptr, 0.0f); }

VstTimeInfo* IPlugVST::HostTimeInfo(VstInt32 filter) {
  return reinterpret_cast<VstTimeInfo*>(HostCall(audioMasterGetTime, 0, filter, nullptr, 0.0f));
}

int IPlugVST::HostSamplePosition() {
  const VstTimeInfo* info = HostTimeInfo(0);
  return info != nullptr ? WholeSamplePosition(info->samplePos) : 0;
}

double IPlugVST::HostTempo() {
  const VstTimeInfo* info = HostTimeInfo(kVstTempoValid);
  if (info == nullptr || (info->flags & kVstTempoValid) == 0 || !(info->tempo >= 0.0)) return 0.0;
  return info->tempo;
}

void IPlugVST::HostTimeSignature(int* numerator, int* denominator) {
  *numerator = 0;
  *denominator = 0;
  const VstTimeInfo* info = HostTimeInfo(kVstTimeSigValid);
  if (info != nullptr && (info->flags & kVstTimeSigValid) != 0 && info->timeSigNumerator >= 0 &&
      info->timeSigDenominator >= 0) {
    *numerator = info->timeSigNumerator;
    *denominator = info->timeSigDenominator;
  }
}

void IPlugVST::ReadTransport(TransportInfo* info) {
  const VstInt32 mask = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid | kVstTimeSigValid;
  const VstTimeInfo* time = HostTimeInfo(mask);
  if (time == nullptr || (time->flags & mask) == 0) return;
  info->samplePosition = time->samplePos;
  if ((time->flags & kVstPpqPosValid) && time->ppqPos >= 0.0) info->ppqPosition = time->ppqPos;
  if ((time->flags & kVstTempoValid) && time->tempo > 0.0) info->tempo = time->tempo;
  if ((time->flags & kVstBarsValid) && time->barStartPos >= 0.0) info->lastBarStart = time->barStartPos;
  if ((time->flags & kVstCyclePosValid) && time->cycleStartPos >= 0.0 && time->cycleEndPos >= 0.0) {
    info->cycleStart = time->cycleStartPos;
    info->cycleEnd = time->cycleEndPos;
  }
  if ((time->flags & kVstTimeSigValid) && time->timeSigNumerator > 0 && time->timeSigDenominator > 0) {
    info->numerator = time->timeSigNumerator;
    info->denominator = time->timeSigDenominator;
  }
  info->transportRunning = (time->flags & kVstTransportPlaying) != 0;
  info->loopEnabled = (time->flags & kVstTransportCycleActive) != 0;
}

HostKind IPlugVST::HostType() {
  if (mHostKind != kHostNotAsked) return mHostKind;
  char product[256];
  std::memset(product, 0, sizeof product);
  HostCall(audioMasterGetProductString, 0, 0, product, 0.0f);
  product[sizeof product - 1] = '\0';
  if (product[0] != '\0') {
    const VstIntPtr decimal = HostCall(audioMasterGetVendorVersion, 0, 0, nullptr, 0.0f);
    const int32_t d = static_cast<int32_t>(decimal);
    mHostVersion = (d / 10000) * 65536 + ((d % 10000) / 100) * 256 + (d % 100);
  }
  mHostKind = IdentifyHostByName(product);
  return mHostKind;
}

bool IPlugVST::IsChunkQuirkHost() {
  if (!mChunkQuirkAsked) {
    mChunkQuirkAsked = true;
    char vendor[256];
    std::memset(vendor, 0, sizeof vendor);
    HostCall(audioMasterGetVendorString, 0, 0, vendor, 0.0f);
    vendor[sizeof vendor - 1] = '\0';
    for (char& c : vendor) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    mChunkQuirkHost = std::strcmp(vendor, "native instruments") == 0 || std::strcmp(vendor, "juce vst host") == 0;
  }
  return mChunkQuirkHost;
}

bool IPlugVST::SendMidiToHost(const MidiMessage& message) {
  VstMidiEvent event;
  std::memset(&event, 0, sizeof event);
  event.type = kVstMidiType;
  event.byteSize = 32;
  event.deltaFrames = message.frameOffset;
  event.midiData[0] = static_cast<char>(message.status);
  event.midiData[1] = static_cast<char>(message.data1);
  event.midiData[2] = static_cast<char>(message.data2);
  VstEvents events;
  std::memset(&events, 0, sizeof events);
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&event);
  return HostCall(audioMasterProcessEvents, 0, 0, &events, 0.0f) == 1;
}

bool IPlugVST::SendSysExToHost(const SysExMessage& message) {
  VstMidiSysexEvent event;
  std::memset(&event, 0, sizeof event);
  event.type = kVstSysExType;
  event.byteSize = static_cast<VstInt32>(sizeof event);
  event.deltaFrames = message.frameOffset;
  event.dumpBytes = message.size;
  event.sysexDump = const_cast<char*>(reinterpret_cast<const char*>(message.data));
  VstEvents events;
  std::memset(&events, 0, sizeof events);
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&event);
  return HostCall(audioMasterProcessEvents, 0, 0, &events, 0.0f) == 1;
}

// Editor

void IPlugVST::ResizeEditor(int width, int height) {
  mEditorRect.top = 0;
  mEditorRect.left = 0;
  mEditorRect.right = static_cast<VstInt16>(width);
  mEditorRect.bottom = static_cast<VstInt16>(height);
  EditorResized(Editor(), width, height);
  // An open editor changed its size (a new scale): the host sizes its frame.
  if (Editor() != nullptr && Editor()->IsWindowOpen()) HostCall(audioMasterSizeWindow, width, height, nullptr, 0.0f);
}

void IPlugVST::AttachEditor(IGraphics* editor) {
  if (editor == nullptr) return;
  CriticalSectionGuard guard(mLock);
  IPlugBase::AttachEditor(editor);
  mAEffect.flags |= effFlagsHasEditor;
  mEditorRect.top = 0;
  mEditorRect.left = 0;
  mEditorRect.right = static_cast<VstInt16>(editor->WindowWidth());
  mEditorRect.bottom = static_cast<VstInt16>(editor->WindowHeight());
}

void IPlugVST::SetProcessingDelay(int frames) {
  IPlugBase::SetProcessingDelay(frames);
  mAEffect.initialDelay = frames;
}

void IPlugVST::PrepareForHost() {
  if (mHostPrepared) return;
  mHostPrepared = true;
  // These hosts pass no inputs beyond the first two, and every output.
  const HostKind kind = HostType();
  if (kind == kHostForte || kind == kHostAudition || kind == kHostOrion || kind == kHostSawStudio) {
    for (int i = 2; i < NumInputChannels(); ++i) SetInputConnected(i, false);
    if (NumOutputChannels() >= 3)
      for (int i = 2; i < NumOutputChannels(); ++i) SetOutputConnected(i, true);
  }
  mAEffect.numInputs = mInputArrangement.numChannels = NumInputChannels();
  mAEffect.numOutputs = mOutputArrangement.numChannels = NumOutputChannels();
  HostIdentified();
}

void IPlugVST::ApplySpeakerArrangement(const VstSpeakerArrangement* arrangement, bool inputs) {
  if (arrangement == nullptr) return;
  const int channels = arrangement->numChannels;
  const int count = inputs ? NumInputChannels() : NumOutputChannels();
  for (int i = 0; i < count; ++i) {
    if (inputs)
      SetInputConnected(i, i < channels);
    else
      SetOutputConnected(i, i < channels);
  }
}

// Processing

void IPlugVST::ProcessFloat(float** inputs, float** outputs, VstInt32 frames, bool accumulate) {
  AudioBlock block;
  block.frames = frames;
  block.accumulate = accumulate;
  block.in32 = inputs;
  block.out32 = outputs;
  ProcessAudio(block, nullptr);
}

void IPlugVST::ProcessDouble(double** inputs, double** outputs, VstInt32 frames) {
  AudioBlock block;
  block.frames = frames;
  block.doubles = true;
  block.in64 = inputs;
  block.out64 = outputs;
  ProcessAudio(block, nullptr);
}

void VSTCALLBACK IPlugVST::VSTProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  if (IPlugVST* plug = PluginOf(effect)) plug->ProcessFloat(inputs, outputs, frames, true);
}

void VSTCALLBACK IPlugVST::VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs,
                                               VstInt32 frames) {
  if (IPlugVST* plug = PluginOf(effect)) plug->ProcessFloat(inputs, outputs, frames, false);
}

void VSTCALLBACK IPlugVST::VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                                     VstInt32 frames) {
  if (IPlugVST* plug = PluginOf(effect)) plug->ProcessDouble(inputs, outputs, frames);
}

float VSTCALLBACK IPlugVST::VSTGetParameter(AEffect* effect, VstInt32 index) {
  IPlugVST* plug = PluginOf(effect);
  if (plug == nullptr) return 0.0f;
  CriticalSectionGuard guard(plug->mLock);
  const ParamRecord* param = plug->ParamAt(index);
  return param != nullptr ? static_cast<float>(param->NormalizedValue()) : 0.0f;
}

void VSTCALLBACK IPlugVST::VSTSetParameter(AEffect* effect, VstInt32 index, float value) {
  IPlugVST* plug = PluginOf(effect);
  if (plug == nullptr) return;
  plug->ChangeParameter(index, value, ValueSource::kHost);
}

// Chunks

VstIntPtr IPlugVST::GetChunk(void** data, bool isBank) {
  ChunkBuffer& chunk = isBank ? mBankChunk : mStateChunk;
  if (!WriteHostState(chunk, isBank ? StateKind::kBank : StateKind::kProgram) || chunk.Size() <= 0) return 0;
  *data = chunk.Data();
  return chunk.Size();
}

VstIntPtr IPlugVST::SetChunk(const void* data, VstIntPtr size, bool isBank) {
  if (size < 0 || size > 0x7FFFF000) return 0;
  const int bytes = static_cast<int>(size);
  // Hosts often hand back the very buffer we gave them; copy it aside first.
  std::vector<unsigned char> aside;
  if (PointsInto(data, mStateChunk) || PointsInto(data, mBankChunk)) {
    aside.assign(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + bytes);
    data = aside.data();
  }
  ChunkBuffer& chunk = isBank ? mBankChunk : mStateChunk;
  chunk.Resize(bytes);
  if (chunk.Size() != bytes) return 0;
  if (bytes > 0) std::memcpy(chunk.Data(), data, static_cast<size_t>(bytes));
  // These hosts send banks as programs: whichever the bytes are.
  const StateAccepts accepts = IsChunkQuirkHost() ? StateAccepts::kAny : isBank ? StateAccepts::kBank : StateAccepts::kProgram;
  if (!ReadHostState(chunk, accepts)) return 0;
  RefreshEditorControls();
  return 1;
}

// The dispatcher

VstIntPtr VSTCALLBACK IPlugVST::VSTDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                              void* ptr, float opt) {
  IPlugVST* plug = PluginOf(effect);
  if (plug == nullptr) return 0;
  if (opcode == effClose) {
    // The section must not be held while the object goes away.
    plug->mLock.Enter();
    Trace("IPlugVST::VSTDispatcher", "%d", opcode);
    plug->mLock.Leave();
    delete plug;
    return 0;
  }
  // The editor's window requests run without the section: the window's
  // events, menus and message boxes must never hold up the audio.
  if (IsWindowRequest(opcode, index, value)) return plug->DispatchWindowRequest(opcode, index, value, ptr, opt);
  CriticalSectionGuard guard(plug->mLock);
  return plug->Dispatch(opcode, index, value, ptr, opt);
}

bool IPlugVST::IsWindowRequest(VstInt32 opcode, VstInt32 index, VstIntPtr value) {
  switch (opcode) {
    case effEditGetRect:
    case effEditOpen:
    case effEditClose:
    case effEditIdle:
    case effIdle:
      return true;
    case effVendorSpecific:
      return index == CCONST('P', 'r', 'e', 'S') && value == CCONST('A', 'e', 'C', 's');
    default:
      return false;
  }
}

// Window thread, without the section; what these reach of the plug-in's
// state takes the section itself, briefly.
VstIntPtr IPlugVST::DispatchWindowRequest(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  Trace("IPlugVST::VSTDispatcher", "%d %d", opcode, index);
  switch (opcode) {
    case effEditGetRect: {
      int width = 0, height = 0;
      if (ptr == nullptr || !EditorPixelSize(&width, &height)) return 0;
      mEditorRect.top = 0;
      mEditorRect.left = 0;
      mEditorRect.right = static_cast<VstInt16>(width);
      mEditorRect.bottom = static_cast<VstInt16>(height);
      *static_cast<ERect**>(ptr) = &mEditorRect;
      return 1;
    }
    case effEditOpen: {
      const ERect asked = mEditorRect;
      if (Editor() == nullptr || Editor()->OpenEditorWindow(ptr) == nullptr) return 0;
      // The host's window may have another scale than the screen the size
      // request saw: the host sizes its frame to the window we made.
      if (mEditorRect.right != asked.right || mEditorRect.bottom != asked.bottom)
        HostCall(audioMasterSizeWindow, mEditorRect.right, mEditorRect.bottom, nullptr, 0.0f);
      EditorOpened();
      return 1;
    }
    case effEditClose:
      if (Editor() == nullptr) return 0;
      EditorClosed();
      Editor()->CloseEditorWindow();
      return 1;
    case effEditIdle:
      if (IGraphics* editor = Editor()) editor->PumpEvents();
      IdleTick();
      return 0;
    case effIdle:
      IdleTick();
      return 0;
    case effVendorSpecific:
      // Scale-aware hosts tell the scale of their window: 'PreS', 'AeCs',
      // the factor in opt.
      if (Editor() == nullptr) return 0;
      SetHostScale(static_cast<double>(opt));
      return 1;
    default:
      return 0;
  }
}

VstIntPtr IPlugVST::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  Trace("IPlugVST::VSTDispatcher", "%d %d", opcode, index);
  char* text = static_cast<char*>(ptr);
  switch (opcode) {
    case effOpen:
      PrepareForHost();
      NotifyAllParametersChanged();
      return 0;

    case effSetProgram:
      ModifyCurrentPreset(nullptr);
      LoadPreset(ClampToInt(value));
      return 0;
    case effGetProgram:
      return CurrentPresetIndex();
    case effSetProgramName:
      if (text != nullptr) {
        ModifyCurrentPreset(text);
        PresetsChanged();
      }
      return 0;
    case effGetProgramName:
      if (text != nullptr) CopyText(text, PresetName(CurrentPresetIndex()), kHostProgramNameBound);
      return 0;

    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName: {
      const ParamRecord* param = ParamAt(index);
      if (param == nullptr || text == nullptr) return 0;
      if (opcode == effGetParamLabel) {
        CopyText(text, param->LabelText(), kHostParamTextBound);
      } else if (opcode == effGetParamName) {
        CopyText(text, param->name, kHostParamTextBound);
      } else {
        char display[kParamTextSize];
        param->FormatValue(param->value, false, display, true);
        CopyText(text, display, kHostParamTextBound);
      }
      return 0;
    }

    case effSetSampleRate:
      // A rate that is not a positive number is kept out of the signal path.
      if (opt > 0.0f && std::isfinite(opt)) ChangeSampleRate(static_cast<double>(opt));
      ResetProcessing();
      return 0;
    case effSetBlockSize:
      ChangeBlockSize(ClampToInt(value));
      ResetProcessing();
      return 0;
    case effMainsChanged:
      Activate(value != 0);
      return 0;

    case effIdentify:
      return CCONST('N', 'v', 'E', 'f');

    case effGetChunk:
      if (ptr == nullptr) return 0;
      return GetChunk(static_cast<void**>(ptr), index == 0 && !IsChunkQuirkHost());
    case effSetChunk:
      if (ptr == nullptr) return 0;
      return SetChunk(ptr, value, index == 0 && !IsChunkQuirkHost());

    case effProcessEvents: {
      const VstEvents* events = static_cast<const VstEvents*>(ptr);
      if (events == nullptr) return 0;
      for (int i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = events->events[i];
        if (event == nullptr) continue;
        if (event->type == kVstMidiType) {
          const VstMidiEvent* midi = reinterpret_cast<const VstMidiEvent*>(event);
          MidiMessage message;
          message.frameOffset = midi->deltaFrames;
          message.status = static_cast<uint8_t>(midi->midiData[0]);
          message.data1 = static_cast<uint8_t>(midi->midiData[1]);
          message.data2 = static_cast<uint8_t>(midi->midiData[2]);
          HandleMidiMessage(message);
        } else if (event->type == kVstSysExType) {
          const VstMidiSysexEvent* sysex = reinterpret_cast<const VstMidiSysexEvent*>(event);
          SysExMessage message;
          message.frameOffset = sysex->deltaFrames;
          message.size = sysex->dumpBytes;
          message.data = reinterpret_cast<const uint8_t*>(sysex->sysexDump);
          HandleSysEx(message);
        }
      }
      return 1;
    }

    case effCanBeAutomated:
      return 1;

    case effString2Parameter: {
      ParamRecord* param = ParamAt(index);
      if (param == nullptr) return 0;
      if (text == nullptr) return 1;
      double v;
      if (!param->ValueFromText(text, &v)) return 0;
      ChangeParameter(index, v, ValueSource::kHostText);
      return 1;
    }

    case effGetProgramNameIndexed:
      if (text == nullptr) return 0;
      CopyText(text, PresetName(index), kHostProgramNameBound);
      return text[0] != '\0' ? 1 : 0;

    case effGetInputProperties:
    case effGetOutputProperties: {
      const bool isInput = opcode == effGetInputProperties;
      VstPinProperties* pin = static_cast<VstPinProperties*>(ptr);
      const int count = isInput ? NumInputChannels() : NumOutputChannels();
      if (pin == nullptr || index < 0 || index >= count) return 0;
      pin->flags = kVstPinIsActive;
      if (index % 2 == 0 && index < count - 1) pin->flags |= kVstPinIsStereo;
      const GrowableText& label = isInput ? InputAt(index).label : OutputAt(index).label;
      if (!label.Empty())
        CopyText(pin->label, label.Get(), kHostPinLabelBound);
      else
        std::snprintf(pin->label, kHostPinLabelBound, isInput ? "Input %d" : "Output %d", index + 1);
      return 1;
    }

    case effGetPlugCategory:
      return IsInstrument() ? kPlugCategSynth : kPlugCategEffect;
    case effProcessVarIo:
      return 0;
    case effSetSpeakerArrangement:
      ApplySpeakerArrangement(reinterpret_cast<const VstSpeakerArrangement*>(value), true);
      ApplySpeakerArrangement(static_cast<const VstSpeakerArrangement*>(ptr), false);
      return 1;

    case effGetEffectName:
      if (text == nullptr) return 0;
      CopyText(text, EffectName(), kHostEffectNameBound);
      return 1;
    case effGetVendorString:
      if (text == nullptr) return 0;
      CopyText(text, MakerName(), kHostVendorTextBound);
      return 1;
    case effGetProductString:
      if (text == nullptr) return 0;
      CopyText(text, ProductName(), kHostVendorTextBound);
      return 1;
    case effGetVendorVersion:
      return (Version() >> 16) * 10000 + ((Version() >> 8) & 0xFF) * 100 + (Version() & 0xFF);

    case effVendorSpecific:
      if (index == 7) {
        if (text == nullptr) return 0;
        const VstIntPtr number = value;
        if (number >= 0 && number < NumParams()) {
          char display[kParamTextSize];
          ParamAt(static_cast<int>(number))->FormatValue(opt, true, display, true);
          CopyText(text, display, kHostParamTextBound);
        }
        return 0xBEEF;
      }
      if (index == 8) {
        const ParamRecord* param = value >= 0 && value < NumParams() ? ParamAt(static_cast<int>(value)) : nullptr;
        return param != nullptr && param->type != kTypeDouble ? 0xBEEF : 0;
      }
      return 0;

    case effCanDo: {
      if (text == nullptr) return 0;
      if (std::strcmp(text, "receiveVstTimeInfo") == 0) return 1;
      if (std::strcmp(text, "sendVstEvents") == 0 || std::strcmp(text, "sendVstMidiEvent") == 0 ||
          std::strcmp(text, "receiveVstEvents") == 0 || std::strcmp(text, "receiveVstMidiEvent") == 0)
        return TakesMidi() ? 1 : 0;
      if (std::strcmp(text, "hasCockosExtensions") == 0) {
        mHostExtensionFlags |= 1;
        return static_cast<VstIntPtr>(0xBEEF0000u);
      }
      if (std::strcmp(text, "hasCockosViewAsConfig") == 0) {
        mHostExtensionFlags |= 2;
        return static_cast<VstIntPtr>(0xBEEF0000u);
      }
      return 0;
    }

    case effGetTailSize:
      return TailSize();
    case effGetVstVersion:
      return 2400;

    case effGetMidiKeyName: {
      MidiKeyName* key = static_cast<MidiKeyName*>(ptr);
      if (key == nullptr) return 0;
      key->keyName[0] = '\0';
      char name[sizeof key->keyName];
      name[0] = '\0';
      const bool found = MidiKeyNameFor(key->thisKeyNumber, name);
      CopyText(key->keyName, name, sizeof key->keyName);
      return found ? 1 : 0;
    }

    case effGetSpeakerArrangement:
      if (value != 0) *reinterpret_cast<VstSpeakerArrangement**>(value) = &mInputArrangement;
      if (ptr != nullptr) *static_cast<VstSpeakerArrangement**>(ptr) = &mOutputArrangement;
      return 1;

    default:
      return 0;
  }
}
