#include "plugin/vst3/IPlugVST3.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "graphics/IGraphics.h"
#include "plugin/vst3/Vst3Text.h"
#include "plugin/vst3/Vst3View.h"

using namespace vst3;

namespace {

int ChannelsOf(SpeakerArrangement arrangement) {
  int count = 0;
  for (; arrangement != 0; arrangement &= arrangement - 1) ++count;
  return count;
}

bool IsAudioMain(int32_t type, int32_t dir, int32_t index) {
  return type == kAudio && (dir == kInput || dir == kOutput) && index == 0;
}

double Clamp01(double v) { return v < 0.0 ? 0.0 : v > 1.0 ? 1.0 : v; }

int StepCountOf(const ParamRecord& param) {
  if (param.type != kTypeEnum || !(param.step > 0.0)) return 0;
  return static_cast<int>(std::floor((param.maximum - param.minimum) / param.step + 0.5));
}

}  // namespace

// A VST3 instance is its own controller: it opens its own editor.
bool InstanceHasEditor(const HostConnection*) { return true; }

IPlugVST3::IPlugVST3(const HostConnection* host, int numParams, const char* channelIOString, int numPresets,
                     const char* effectName, const char* productName, const char* makerName, int32_t version,
                     int32_t uniqueId, int32_t makerId, int latency, bool takesMidi, bool usesChunks,
                     bool isInstrument)
    : IPlugBase(numParams, channelIOString, numPresets, effectName, productName, makerName, version, uniqueId,
                makerId, latency, takesMidi, usesChunks, isInstrument),
      mHostContext(host != nullptr ? host->hostContext : nullptr),
      mGestures(static_cast<size_t>(numParams > 0 ? numParams : 0), Gesture::kNone),
      mPendingNotes(static_cast<size_t>(numParams > 0 ? numParams : 0), 0),
      mStateOut(4096),
      mStateIn(4096) {
  ApplyConnections();
  ChangeBlockSize(1024);
}

IPlugVST3::~IPlugVST3() {
  if (mUnitHandler != nullptr) mUnitHandler->release();
  if (mHandler != nullptr) mHandler->release();
}

// FUnknown

tresult IPlugVST3::queryInterface(const TUID iid, void** obj) {
  if (obj == nullptr) return kInvalidArgument;
  void* found = nullptr;
  if (SameUid(iid, kFUnknownIid) || SameUid(iid, kIPluginBaseIid) || SameUid(iid, kIComponentIid))
    found = static_cast<IComponent*>(this);
  else if (SameUid(iid, kIAudioProcessorIid))
    found = static_cast<IAudioProcessor*>(this);
  else if (SameUid(iid, kIEditControllerIid))
    found = static_cast<IEditController*>(this);
  else if (SameUid(iid, kIUnitInfoIid))
    found = static_cast<IUnitInfo*>(this);
  else if (SameUid(iid, kIProcessContextRequirementsIid))
    found = static_cast<IProcessContextRequirements*>(this);
  *obj = found;
  if (found == nullptr) return kNoInterface;
  addRef();
  return kResultOk;
}

uint32_t IPlugVST3::addRef() { return ++mRefCount; }

uint32_t IPlugVST3::release() {
  const uint32_t left = --mRefCount;
  // The section must not be held while the object goes away.
  if (left == 0) delete this;
  return left;
}

// IPluginBase

tresult IPlugVST3::initialize(FUnknown* context) {
  CriticalSectionGuard guard(mLock);
  // The component and the controller are one object: hosts may initialise
  // it as each.
  if (mInitialized++ > 0) return kResultOk;
  FUnknown* host = context != nullptr ? context : mHostContext;
  void* found = nullptr;
  if (host != nullptr && host->queryInterface(kIHostApplicationIid.bytes, &found) == kResultOk && found != nullptr) {
    IHostApplication* application = static_cast<IHostApplication*>(found);
    String128 name{};
    if (application->getName(name) == kResultOk) {
      char text[256];
      vst3bind::FromUtf16(name, 128, text, sizeof text);
      mHostKind = IdentifyHostByName(text);
    }
    application->release();
  }
  if (mHostKind == kHostNotAsked) mHostKind = kHostUnknown;
  HostIdentified();
  NotifyAllParametersChanged();
  return kResultOk;
}

tresult IPlugVST3::terminate() {
  CriticalSectionGuard guard(mLock);
  if (mInitialized == 0) return kResultFalse;
  if (--mInitialized > 0) return kResultOk;
  if (mUnitHandler != nullptr) mUnitHandler->release();
  if (mHandler != nullptr) mHandler->release();
  mUnitHandler = nullptr;
  mHandler = nullptr;
  return kResultOk;
}

// IComponent

tresult IPlugVST3::getControllerClassId(TUID classId) {
  // No separate controller: this object is its own.
  return classId == nullptr ? kInvalidArgument : kNotImplemented;
}

tresult IPlugVST3::setIoMode(int32_t mode) { return kNotImplemented; }

int32_t IPlugVST3::getBusCount(int32_t type, int32_t dir) {
  return type == kAudio && (dir == kInput || dir == kOutput) ? 1 : 0;
}

tresult IPlugVST3::getBusInfo(int32_t type, int32_t dir, int32_t index, BusInfo& bus) {
  if (!IsAudioMain(type, dir, index)) return kInvalidArgument;
  CriticalSectionGuard guard(mLock);
  std::memset(&bus, 0, sizeof bus);
  bus.mediaType = kAudio;
  bus.direction = dir;
  bus.channelCount = ChannelsOf(dir == kInput ? mInputArrangement : mOutputArrangement);
  vst3bind::ToUtf16(dir == kInput ? "Input" : "Output", bus.name, 128);
  bus.busType = kMain;
  bus.flags = BusInfo::kDefaultActive;
  return kResultOk;
}

tresult IPlugVST3::getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) { return kNotImplemented; }

tresult IPlugVST3::activateBus(int32_t type, int32_t dir, int32_t index, TBool state) {
  if (!IsAudioMain(type, dir, index)) return kInvalidArgument;
  CriticalSectionGuard guard(mLock);
  (dir == kInput ? mInputActive : mOutputActive) = state != 0;
  ApplyConnections();
  return kResultOk;
}

void IPlugVST3::ApplyConnections() {
  // Channels beyond the host's arrangement, or of a bus it switched off,
  // read silence and write where the host never looks.
  const int inputs = mInputActive ? ChannelsOf(mInputArrangement) : 0;
  const int outputs = mOutputActive ? ChannelsOf(mOutputArrangement) : 0;
  for (int i = 0; i < NumInputChannels(); ++i) SetInputConnected(i, i < inputs);
  for (int i = 0; i < NumOutputChannels(); ++i) SetOutputConnected(i, i < outputs);
}

tresult IPlugVST3::setActive(TBool state) {
  Activate(state != 0);
  return kResultOk;
}

// IAudioProcessor

tresult IPlugVST3::setBusArrangements(SpeakerArrangement* inputs, int32_t numIns, SpeakerArrangement* outputs,
                                      int32_t numOuts) {
  if (numIns != 1 || numOuts != 1 || inputs == nullptr || outputs == nullptr) return kResultFalse;
  const int in = ChannelsOf(inputs[0]);
  const int out = ChannelsOf(outputs[0]);
  // Mono or stereo on either side; a mono input leaves the second channel silent.
  if (in < 1 || in > NumInputChannels() || out < 1 || out > NumOutputChannels()) return kResultFalse;
  CriticalSectionGuard guard(mLock);
  mInputArrangement = inputs[0];
  mOutputArrangement = outputs[0];
  ApplyConnections();
  return kResultTrue;
}

tresult IPlugVST3::getBusArrangement(int32_t dir, int32_t index, SpeakerArrangement& arr) {
  if ((dir != kInput && dir != kOutput) || index != 0) return kInvalidArgument;
  CriticalSectionGuard guard(mLock);
  arr = dir == kInput ? mInputArrangement : mOutputArrangement;
  return kResultOk;
}

tresult IPlugVST3::canProcessSampleSize(int32_t symbolicSampleSize) {
  return symbolicSampleSize == kSample32 || symbolicSampleSize == kSample64 ? kResultTrue : kResultFalse;
}

uint32_t IPlugVST3::getLatencySamples() { return Latency() > 0 ? static_cast<uint32_t>(Latency()) : 0; }

uint32_t IPlugVST3::getTailSamples() { return TailSize() > 0 ? static_cast<uint32_t>(TailSize()) : 0; }

tresult IPlugVST3::setupProcessing(ProcessSetup& setup) {
  if (setup.symbolicSampleSize != kSample32 && setup.symbolicSampleSize != kSample64) return kResultFalse;
  // A rate that is not a positive number is kept out of the signal path.
  if (!(setup.sampleRate > 0.0) || !std::isfinite(setup.sampleRate) || setup.maxSamplesPerBlock <= 0)
    return kInvalidArgument;
  CriticalSectionGuard guard(mLock);
  mProcessMode = setup.processMode;
  ChangeSampleRate(setup.sampleRate);
  ChangeBlockSize(setup.maxSamplesPerBlock);
  ResetProcessing();
  return kResultOk;
}

tresult IPlugVST3::setProcessing(TBool state) { return kResultOk; }

bool IPlugVST3::ApplyProgramValue(double value) {
  const int index = ProgramIndexOf(value);
  if (index == CurrentPresetIndex()) return false;
  // The program being left keeps its edits, as a program change does in
  // the VST 2.4 build.
  ModifyCurrentPreset(nullptr);
  return LoadPreset(index);
}

// One batch: the host's changes at one offset. A program comes first, then
// the values, as ChangeParameters orders them.
void IPlugVST3::ApplyHostBatch(const HostPoint* points, int count, int offset) {
  mBlockPosition = offset;
  ParamChange changes[kMaxBatch];
  int used = 0;
  for (int i = 0; i < count; ++i) {
    if (points[i].id == kProgramParamId && ApplyProgramValue(points[i].value)) ReportAllParameters(offset);
    if (points[i].id == kBypassParamId) SetBypassed(points[i].value >= 0.5);
  }
  for (int i = 0; i < count && used < kMaxBatch; ++i) {
    const HostPoint& point = points[i];
    if (point.id == kProgramParamId || point.id >= static_cast<ParamID>(NumParams())) continue;
    // A host echoing a value back changes nothing.
    if (ParamAt(static_cast<int>(point.id))->NormalizedValue() == point.value) continue;
    changes[used++] = ParamChange{static_cast<int>(point.id), point.value};
  }
  ChangeParameters(changes, used, ValueSource::kHost);
}

void IPlugVST3::ProcessChanges::BlockBegins() {
  IPlugVST3& p = mPlug;
  p.mInProcess = true;
  p.mOutputChanges = mOutputChanges;
  // What came with blocks processed without the section, at this block's start.
  if (mKeptCount > 0) {
    p.ApplyHostBatch(mKept, mKeptCount, 0);
    mKeptCount = 0;
  }
  if (p.mNotesPending) p.SendPendingNotes();
}

int IPlugVST3::ProcessChanges::ApplyUntil(int position, int frames) {
  HostPoint batch[kMaxBatch];
  int count = 0;
  int next = frames;
  for (int q = 0; q < mNumCursors; ++q) {
    QueueCursor& cursor = mCursors[q];
    while (cursor.next < cursor.points) {
      int32_t offset = 0;
      ParamValue value = 0.0;
      if (cursor.queue->getPoint(cursor.next, offset, value) != kResultOk) {
        cursor.next = cursor.points;
        break;
      }
      if (offset < 0) offset = 0;
      if (offset > frames) offset = frames;  // late points count at the block's end
      if (offset > position) {
        if (offset < next) next = offset;
        break;
      }
      ++cursor.next;
      if (value != value) continue;  // not a value
      if (count == kMaxBatch) {
        mPlug.ApplyHostBatch(batch, count, position);
        count = 0;
      }
      batch[count++] = HostPoint{cursor.queue->getParameterId(), Clamp01(value)};
    }
  }
  mPlug.ApplyHostBatch(batch, count, position);
  return next;
}

void IPlugVST3::ProcessChanges::BlockEnds() {
  mPlug.mInProcess = false;
  mPlug.mOutputChanges = nullptr;
  mPlug.mBlockPosition = 0;
}

void IPlugVST3::ProcessChanges::KeepForNextBlock() {
  // The last value of each queue; a later block's section takes them.
  for (int q = 0; q < mNumCursors; ++q) {
    int32_t offset = 0;
    ParamValue value = 0.0;
    QueueCursor& cursor = mCursors[q];
    if (cursor.queue->getPoint(cursor.points - 1, offset, value) != kResultOk || value != value) continue;
    const ParamID id = cursor.queue->getParameterId();
    int slot = 0;
    while (slot < mKeptCount && mKept[slot].id != id) ++slot;
    if (slot == mKeptCount) {
      if (mKeptCount == kMaxBatch) continue;
      ++mKeptCount;
    }
    mKept[slot] = HostPoint{id, Clamp01(value)};
  }
}

void IPlugVST3::ProcessChanges::Start(ProcessData& data) {
  mOutputChanges = data.outputParameterChanges;
  mNumCursors = 0;
  IParameterChanges* changes = data.inputParameterChanges;
  const int32_t count = changes != nullptr ? changes->getParameterCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    IParamValueQueue* queue = changes->getParameterData(i);
    const int32_t points = queue != nullptr ? queue->getPointCount() : 0;
    if (points <= 0) continue;
    if (mNumCursors < kMaxQueues) {
      mCursors[mNumCursors++] = QueueCursor{queue, points, 0};
      continue;
    }
    // More queues than parameters: only the last value of the rest, at the
    // block's start.
    int32_t offset = 0;
    ParamValue value = 0.0;
    if (queue->getPoint(points - 1, offset, value) == kResultOk && value == value && mKeptCount < kMaxBatch)
      mKept[mKeptCount++] = HostPoint{queue->getParameterId(), Clamp01(value)};
  }
}

tresult IPlugVST3::process(ProcessData& data) {
  if (data.numSamples < 0) return kInvalidArgument;
  if (data.symbolicSampleSize != kSample32 && data.symbolicSampleSize != kSample64) return kInvalidArgument;
  const bool doubles = data.symbolicSampleSize == kSample64;

  // The audio thread's own: the transport, the host's channels (as many as
  // its bus has; the rest stay null: an input then reads silence, an
  // output goes unseen) and the cursors into its parameter queues.
  mHasContext = data.processContext != nullptr;
  if (mHasContext) mContext = *data.processContext;
  for (int c = 0; c < 2; ++c) {
    mHostIn32[c] = mHostOut32[c] = nullptr;
    mHostIn64[c] = mHostOut64[c] = nullptr;
  }
  if (data.numInputs > 0 && data.inputs != nullptr && data.inputs[0].channelBuffers32 != nullptr) {
    for (int c = 0; c < 2 && c < data.inputs[0].numChannels; ++c) {
      if (doubles)
        mHostIn64[c] = data.inputs[0].channelBuffers64[c];
      else
        mHostIn32[c] = data.inputs[0].channelBuffers32[c];
    }
  }
  if (data.numOutputs > 0 && data.outputs != nullptr && data.outputs[0].channelBuffers32 != nullptr) {
    for (int c = 0; c < 2 && c < data.outputs[0].numChannels; ++c) {
      if (doubles)
        mHostOut64[c] = data.outputs[0].channelBuffers64[c];
      else
        mHostOut32[c] = data.outputs[0].channelBuffers32[c];
    }
  }
  mEvents.Start(data);

  AudioBlock block;
  block.frames = data.numSamples;
  block.doubles = doubles;
  block.in32 = mHostIn32;
  block.out32 = mHostOut32;
  block.in64 = mHostIn64;
  block.out64 = mHostOut64;
  ProcessAudio(block, &mEvents);

  for (int b = 0; b < data.numOutputs && data.outputs != nullptr; ++b) data.outputs[b].silenceFlags = 0;
  if (data.numOutputs > 0 && data.outputs != nullptr && data.numSamples > 0)
    data.outputs[0].silenceFlags = SilentOutputs(block, data.outputs[0].numChannels < 2 ? data.outputs[0].numChannels : 2);
  return kResultOk;
}

void IPlugVST3::SendPendingNotes() {
  if (mOutputChanges == nullptr) return;  // kept for a block that has a queue
  for (size_t i = 0; i < mPendingNotes.size(); ++i) {
    if (mPendingNotes[i] == 0) continue;
    mPendingNotes[i] = 0;
    NotifyHostOfParameter(static_cast<int>(i), ParamAt(static_cast<int>(i))->NormalizedValue());
  }
  mNotesPending = false;
}

void IPlugVST3::ReportAllParameters(int offset) {
  if (mOutputChanges == nullptr) return;
  for (int i = 0; i < NumParams(); ++i) {
    int32_t queueIndex = 0;
    const ParamID id = static_cast<ParamID>(i);
    IParamValueQueue* queue = mOutputChanges->addParameterData(id, queueIndex);
    int32_t pointIndex = 0;
    if (queue != nullptr) queue->addPoint(offset, ParamAt(i)->NormalizedValue(), pointIndex);
  }
}

uint32_t IPlugVST3::getProcessContextRequirements() {
  return IProcessContextRequirements::kNeedProjectTimeMusic | IProcessContextRequirements::kNeedBarPositionMusic |
         IProcessContextRequirements::kNeedCycleMusic | IProcessContextRequirements::kNeedTempo |
         IProcessContextRequirements::kNeedTimeSignature | IProcessContextRequirements::kNeedTransportState;
}

// Host services

void IPlugVST3::SetParameterFromEditor(int index, double normalised) {
  CriticalSectionGuard guard(mLock);
  ++mEditorCalls;
  IPlugBase::SetParameterFromEditor(index, normalised);
  --mEditorCalls;
}

void IPlugVST3::BeginParameterEdit(int index) {
  CriticalSectionGuard guard(mLock);
  if (mInProcess || mHandler == nullptr || index < 0 || index >= NumParams()) return;
  Gesture& gesture = mGestures[static_cast<size_t>(index)];
  if (gesture == Gesture::kEditor) return;
  // A partner already moving with another control now has its own gesture.
  if (gesture == Gesture::kNone) mHandler->beginEdit(static_cast<ParamID>(index));
  gesture = Gesture::kEditor;
  ++mEditorGestures;
}

void IPlugVST3::NotifyHostOfParameter(int index, double normalised) {
  if (index < 0 || index >= NumParams()) return;
  const ParamID id = static_cast<ParamID>(index);
  if (mInProcess) {
    // On the audio thread the only way to the host is the output queue.
    int32_t queueIndex = 0;
    IParamValueQueue* queue = mOutputChanges != nullptr ? mOutputChanges->addParameterData(id, queueIndex) : nullptr;
    int32_t pointIndex = 0;
    if (queue != nullptr) queue->addPoint(mBlockPosition, normalised, pointIndex);
    return;
  }
  if (mHoldNotes) return;
  if (mEditorCalls == 0 || mHandler == nullptr) {
    mPendingNotes[static_cast<size_t>(index)] = 1;
    mNotesPending = true;
    return;
  }
  Gesture& gesture = mGestures[static_cast<size_t>(index)];
  if (gesture != Gesture::kNone) {
    mHandler->performEdit(id, normalised);
  } else if (mEditorGestures > 0) {
    // A linked partner follows a control being dragged: its gesture lasts
    // as long as the control's.
    mHandler->beginEdit(id);
    gesture = Gesture::kLinked;
    mHandler->performEdit(id, normalised);
  } else {
    mHandler->beginEdit(id);
    mHandler->performEdit(id, normalised);
    mHandler->endEdit(id);
  }
}

void IPlugVST3::EndParameterEdit(int index) {
  CriticalSectionGuard guard(mLock);
  if (mHandler == nullptr || index < 0 || index >= NumParams()) return;
  Gesture& gesture = mGestures[static_cast<size_t>(index)];
  if (gesture != Gesture::kEditor) return;
  mHandler->endEdit(static_cast<ParamID>(index));
  gesture = Gesture::kNone;
  if (--mEditorGestures > 0) return;
  mEditorGestures = 0;
  for (size_t i = 0; i < mGestures.size(); ++i) {
    if (mGestures[i] != Gesture::kLinked) continue;
    mHandler->endEdit(static_cast<ParamID>(i));
    mGestures[i] = Gesture::kNone;
  }
}

void IPlugVST3::NotifyHostOfProgramChange() {
  // Only the editor's program menu changes programs on its own.
  CriticalSectionGuard guard(mLock);
  if (mInProcess || mHandler == nullptr) return;
  mHandler->beginEdit(kProgramParamId);
  mHandler->performEdit(kProgramParamId, NormalisedProgram(CurrentPresetIndex()));
  mHandler->endEdit(kProgramParamId);
  // Names may have changed (a rename), values have.
  if (mUnitHandler != nullptr) mUnitHandler->notifyProgramListChange(kProgramListId, kAllProgramInvalid);
  mHandler->restartComponent(kParamValuesChanged);
}

bool IPlugVST3::IsOffline() { return mProcessMode == kOffline; }

int IPlugVST3::HostSamplePosition() {
  return mHasContext ? WholeSamplePosition(static_cast<double>(mContext.projectTimeSamples)) : 0;
}

double IPlugVST3::HostTempo() {
  if (!mHasContext || (mContext.state & ProcessContext::kTempoValid) == 0 || !(mContext.tempo >= 0.0)) return 0.0;
  return mContext.tempo;
}

void IPlugVST3::HostTimeSignature(int* numerator, int* denominator) {
  *numerator = 0;
  *denominator = 0;
  if (mHasContext && (mContext.state & ProcessContext::kTimeSigValid) != 0 && mContext.timeSigNumerator >= 0 &&
      mContext.timeSigDenominator >= 0) {
    *numerator = mContext.timeSigNumerator;
    *denominator = mContext.timeSigDenominator;
  }
}

void IPlugVST3::ReadTransport(TransportInfo* info) {
  if (!mHasContext) return;
  const ProcessContext& c = mContext;
  const bool tempoValid = (c.state & ProcessContext::kTempoValid) != 0 && c.tempo > 0.0;
  // A piece that starts inside the host's block is that much later.
  const int offset = PieceOffset();
  info->samplePosition = static_cast<double>(c.projectTimeSamples) + offset;
  if ((c.state & ProcessContext::kProjectTimeMusicValid) && c.projectTimeMusic >= 0.0) {
    double ppq = c.projectTimeMusic;
    if (offset > 0 && tempoValid && SampleRate() > 0.0) ppq += offset * c.tempo / (60.0 * SampleRate());
    info->ppqPosition = ppq;
  }
  if (tempoValid) info->tempo = c.tempo;
  if ((c.state & ProcessContext::kBarPositionValid) && c.barPositionMusic >= 0.0)
    info->lastBarStart = c.barPositionMusic;
  if ((c.state & ProcessContext::kCycleValid) && c.cycleStartMusic >= 0.0 && c.cycleEndMusic >= 0.0) {
    info->cycleStart = c.cycleStartMusic;
    info->cycleEnd = c.cycleEndMusic;
  }
  if ((c.state & ProcessContext::kTimeSigValid) && c.timeSigNumerator > 0 && c.timeSigDenominator > 0) {
    info->numerator = c.timeSigNumerator;
    info->denominator = c.timeSigDenominator;
  }
  info->transportRunning = (c.state & ProcessContext::kPlaying) != 0;
  info->loopEnabled = (c.state & ProcessContext::kCycleActive) != 0;
}

// An open editor changed its size (a new scale): the attached view asks the
// host's frame for it. Window thread, without the plug-in's section: the
// host may answer with onSize at once.
void IPlugVST3::ResizeEditor(int width, int height) {
  EditorResized(Editor(), width, height);
  if (mAttachedView != nullptr && Editor() != nullptr && Editor()->IsWindowOpen())
    mAttachedView->RequestResize(width, height);
}

// State

tresult IPlugVST3::GetComponentState(IBStream* state) {
  if (state == nullptr) return kInvalidArgument;
  CriticalSectionGuard guard(mLock);
  // The whole plug-in: its program, every program, every value exactly.
  if (!WriteHostState(mStateOut, StateKind::kSession)) return kResultFalse;
  for (int done = 0; done < mStateOut.Size();) {
    int32_t written = -1;
    if (state->write(mStateOut.Data() + done, mStateOut.Size() - done, &written) != kResultOk) return kResultFalse;
    if (written < 0) written = mStateOut.Size() - done;  // a stream that does not say wrote it all
    if (written == 0) return kResultFalse;
    done += written;
  }
  return kResultOk;
}

tresult IPlugVST3::SetComponentState(IBStream* state) {
  if (state == nullptr) return kInvalidArgument;
  CriticalSectionGuard guard(mLock);
  mStateIn.Resize(0);
  const int step = 4096;
  for (;;) {
    const int before = mStateIn.Size();
    mStateIn.Resize(before + step);
    if (mStateIn.Size() != before + step) return kOutOfMemory;
    int32_t got = 0;
    const tresult result = state->read(mStateIn.Data() + before, step, &got);
    if (result != kResultOk || got <= 0 || got > step) {
      mStateIn.Resize(before);
      break;
    }
    mStateIn.Resize(before + got);
    // Far more than any state of ours: not ours.
    if (mStateIn.Size() > kMaxStateBytes) return kResultFalse;
  }
  return LoadState(mStateIn) ? kResultOk : kResultFalse;
}

bool IPlugVST3::LoadState(const ChunkBuffer& chunk) {
  // The host reads every value after a state: no notes meanwhile.
  mHoldNotes = true;
  const bool loaded = ReadHostState(chunk, StateAccepts::kAny);
  mHoldNotes = false;
  if (loaded) RefreshEditorControls();
  return loaded;
}

// IEditController

tresult IPlugVST3::setComponentState(IBStream* state) {
  // The component's state is already this object's own.
  return state == nullptr ? kInvalidArgument : kResultOk;
}

// The effect's parameters, then the program list and the host's bypass switch.
int32_t IPlugVST3::getParameterCount() { return NumParams() + 2; }

tresult IPlugVST3::getParameterInfo(int32_t paramIndex, ParameterInfo& info) {
  CriticalSectionGuard guard(mLock);
  std::memset(&info, 0, sizeof info);
  if (paramIndex == NumParams()) {
    info.id = kProgramParamId;
    vst3bind::ToUtf16("Program", info.title, 128);
    vst3bind::ToUtf16("Program", info.shortTitle, 128);
    info.stepCount = NumPresets() > 1 ? NumPresets() - 1 : 0;
    info.defaultNormalizedValue = 0.0;
    info.unitId = kRootUnitId;
    info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsProgramChange;
    return kResultOk;
  }
  if (paramIndex == NumParams() + 1) {
    info.id = kBypassParamId;
    vst3bind::ToUtf16("Bypass", info.title, 128);
    vst3bind::ToUtf16("Bypass", info.shortTitle, 128);
    info.stepCount = 1;
    info.unitId = kRootUnitId;
    info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsBypass;
    return kResultOk;
  }
  const ParamRecord* param = ParamAt(paramIndex);
  if (param == nullptr) return kInvalidArgument;
  info.id = static_cast<ParamID>(paramIndex);
  vst3bind::ToUtf16(param->name, info.title, 128);
  vst3bind::ToUtf16(param->name, info.shortTitle, 128);
  vst3bind::ToUtf16(param->label, info.units, 128);
  info.stepCount = StepCountOf(*param);
  info.defaultNormalizedValue = param->NormalizeValue(param->defaultValue);
  info.unitId = kRootUnitId;
  info.flags = ParameterInfo::kCanAutomate | (info.stepCount > 0 ? ParameterInfo::kIsList : 0);
  return kResultOk;
}

int IPlugVST3::ProgramIndexOf(double normalised) const {
  const int count = NumPresets();
  if (count <= 1) return 0;
  // A list of n entries: entry k at k / (n - 1).
  const int index = static_cast<int>(Clamp01(normalised) * count);
  return index < count ? index : count - 1;
}

double IPlugVST3::NormalisedProgram(int index) const {
  return NumPresets() > 1 ? static_cast<double>(index) / (NumPresets() - 1) : 0.0;
}

tresult IPlugVST3::getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string) {
  if (string == nullptr || valueNormalized != valueNormalized) return kInvalidArgument;
  const double x = Clamp01(valueNormalized);
  CriticalSectionGuard guard(mLock);
  if (id == kProgramParamId) {
    vst3bind::ToUtf16(PresetName(ProgramIndexOf(x)), string, 128);
    return kResultOk;
  }
  if (id == kBypassParamId) {
    vst3bind::ToUtf16(BypassText(x >= 0.5), string, 128);
    return kResultOk;
  }
  if (id >= static_cast<ParamID>(NumParams())) return kInvalidArgument;
  const ParamRecord* param = ParamAt(static_cast<int>(id));
  char text[kParamTextSize];
  param->FormatForHost(param->ValueFromNormalized(x), text);
  vst3bind::ToUtf16(text, string, 128);
  return kResultOk;
}

tresult IPlugVST3::getParamValueByString(ParamID id, char16* string, ParamValue& valueNormalized) {
  if (string == nullptr) return kInvalidArgument;
  char text[256];
  vst3bind::FromUtf16(string, 128, text, sizeof text);
  CriticalSectionGuard guard(mLock);
  if (id == kProgramParamId) {
    for (int i = 0; i < NumPresets(); ++i) {
      if (std::strcmp(PresetName(i), text) != 0) continue;
      valueNormalized = NormalisedProgram(i);
      return kResultOk;
    }
    return kResultFalse;
  }
  if (id == kBypassParamId) {
    bool on = false;
    if (!BypassFromText(text, &on)) return kResultFalse;
    valueNormalized = on ? 1.0 : 0.0;
    return kResultOk;
  }
  if (id >= static_cast<ParamID>(NumParams())) return kInvalidArgument;
  const ParamRecord* param = ParamAt(static_cast<int>(id));
  double value = 0.0;
  if (!param->ValueFromHostText(text, &value) || !std::isfinite(value)) return kResultFalse;
  valueNormalized = param->NormalizeValue(value);
  return kResultOk;
}

ParamValue IPlugVST3::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
  if (valueNormalized != valueNormalized) return 0.0;
  CriticalSectionGuard guard(mLock);
  if (id == kProgramParamId) return ProgramIndexOf(valueNormalized);
  if (id == kBypassParamId) return valueNormalized >= 0.5 ? 1.0 : 0.0;
  if (id >= static_cast<ParamID>(NumParams())) return 0.0;
  return ParamAt(static_cast<int>(id))->ValueFromNormalized(Clamp01(valueNormalized));
}

ParamValue IPlugVST3::plainParamToNormalized(ParamID id, ParamValue plainValue) {
  if (plainValue != plainValue) return 0.0;
  CriticalSectionGuard guard(mLock);
  if (id == kProgramParamId) return NumPresets() > 1 ? Clamp01(plainValue / (NumPresets() - 1)) : 0.0;
  if (id == kBypassParamId) return plainValue >= 0.5 ? 1.0 : 0.0;
  if (id >= static_cast<ParamID>(NumParams())) return 0.0;
  return ParamAt(static_cast<int>(id))->NormalizeValue(plainValue);
}

ParamValue IPlugVST3::getParamNormalized(ParamID id) {
  CriticalSectionGuard guard(mLock);
  if (id == kProgramParamId) return NormalisedProgram(CurrentPresetIndex());
  if (id == kBypassParamId) return Bypassed() ? 1.0 : 0.0;
  if (id >= static_cast<ParamID>(NumParams())) return 0.0;
  return ParamAt(static_cast<int>(id))->NormalizedValue();
}

tresult IPlugVST3::setParamNormalized(ParamID id, ParamValue value) {
  if (value != value) return kInvalidArgument;
  value = Clamp01(value);
  CriticalSectionGuard guard(mLock);
  if (id == kBypassParamId) {
    SetBypassed(value >= 0.5);
    return kResultOk;
  }
  if (id != kProgramParamId && id >= static_cast<ParamID>(NumParams())) return kInvalidArgument;
  bool ok = true;
  if (id == kProgramParamId) {
    const int index = ProgramIndexOf(value);
    if (index != CurrentPresetIndex()) {
      ModifyCurrentPreset(nullptr);
      ok = LoadPreset(index);
      // Every value changed: the next block tells the host.
      if (ok) std::fill(mPendingNotes.begin(), mPendingNotes.end(), 1), mNotesPending = true;
    }
  } else if (ParamAt(static_cast<int>(id))->NormalizedValue() != value) {
    ChangeParameter(static_cast<int>(id), value, ValueSource::kHost);
  }
  return ok ? kResultOk : kResultFalse;
}

tresult IPlugVST3::setComponentHandler(IComponentHandler* handler) {
  CriticalSectionGuard guard(mLock);
  if (handler == mHandler) return kResultOk;
  if (handler != nullptr) handler->addRef();
  if (mUnitHandler != nullptr) mUnitHandler->release();
  if (mHandler != nullptr) mHandler->release();
  mHandler = handler;
  mUnitHandler = nullptr;
  void* found = nullptr;
  if (handler != nullptr && handler->queryInterface(kIUnitHandlerIid.bytes, &found) == kResultOk)
    mUnitHandler = static_cast<IUnitHandler*>(found);
  // Gestures begun toward the old handler are not ended toward the new.
  for (Gesture& gesture : mGestures) gesture = Gesture::kNone;
  mEditorGestures = 0;
  return kResultOk;
}

IPlugView* IPlugVST3::createView(FIDString name) {
  if (name == nullptr || std::strcmp(name, kEditorViewName) != 0 || Editor() == nullptr) return nullptr;
  return new (std::nothrow) Vst3View(this);
}

// GUI thread, without the section: opening and closing a window is window
// work, which never holds up the audio.
bool IPlugVST3::OpenEditorIn(void* parent, Vst3View* view) {
  IGraphics* editor = Editor();
  // One window at a time, whichever view asks.
  if (editor == nullptr || mAttachedView != nullptr || editor->IsWindowOpen()) return false;
  if (editor->OpenEditorWindow(parent) == nullptr) return false;
  EditorOpened();
  mAttachedView = view;
  return true;
}

void IPlugVST3::CloseEditor(Vst3View* view) {
  if (view != mAttachedView || Editor() == nullptr) return;
  EditorClosed();
  Editor()->CloseEditorWindow();
  mAttachedView = nullptr;
}

// IUnitInfo

int32_t IPlugVST3::getUnitCount() { return 1; }

tresult IPlugVST3::getUnitInfo(int32_t unitIndex, UnitInfo& info) {
  if (unitIndex != 0) return kInvalidArgument;
  std::memset(&info, 0, sizeof info);
  info.id = kRootUnitId;
  info.parentUnitId = kNoParentUnitId;
  vst3bind::ToUtf16("Root", info.name, 128);
  info.programListId = kProgramListId;
  return kResultOk;
}

int32_t IPlugVST3::getProgramListCount() { return 1; }

tresult IPlugVST3::getProgramListInfo(int32_t listIndex, ProgramListInfo& info) {
  if (listIndex != 0) return kInvalidArgument;
  std::memset(&info, 0, sizeof info);
  info.id = kProgramListId;
  vst3bind::ToUtf16("Programs", info.name, 128);
  info.programCount = NumPresets();
  return kResultOk;
}

tresult IPlugVST3::getProgramName(ProgramListID listId, int32_t programIndex, String128 name) {
  if (name == nullptr || listId != kProgramListId || programIndex < 0 || programIndex >= NumPresets())
    return kInvalidArgument;
  CriticalSectionGuard guard(mLock);
  vst3bind::ToUtf16(PresetName(programIndex), name, 128);
  return kResultOk;
}

tresult IPlugVST3::getProgramInfo(ProgramListID listId, int32_t programIndex, FIDString attributeId,
                                  String128 attributeValue) {
  return kResultFalse;
}

tresult IPlugVST3::hasProgramPitchNames(ProgramListID listId, int32_t programIndex) { return kResultFalse; }

tresult IPlugVST3::getProgramPitchName(ProgramListID listId, int32_t programIndex, int16_t midiPitch,
                                       String128 name) {
  return kResultFalse;
}

UnitID IPlugVST3::getSelectedUnit() { return kRootUnitId; }

tresult IPlugVST3::selectUnit(UnitID unitId) { return unitId == kRootUnitId ? kResultOk : kInvalidArgument; }

tresult IPlugVST3::getUnitByBus(int32_t type, int32_t dir, int32_t busIndex, int32_t channel, UnitID& unitId) {
  return kResultFalse;
}

tresult IPlugVST3::setUnitProgramData(int32_t listOrUnitId, int32_t programIndex, IBStream* data) {
  return kNotImplemented;
}
