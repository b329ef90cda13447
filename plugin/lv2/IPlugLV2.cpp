#include "plugin/lv2/IPlugLV2.h"

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/time/time.h>

#include <cmath>
#include <cstring>
#include <type_traits>


namespace {

// A number from an atom of any numeric kind; false for others and for
// numbers that are not finite.
bool NumberOf(const LV2_Atom* atom, const LV2_URID_Map* map, LV2_URID intType, LV2_URID longType,
              LV2_URID floatType, LV2_URID doubleType, LV2_URID boolType, double* value) {
  if (atom == nullptr || map == nullptr) return false;
  double v;
  if (atom->type == intType && atom->size >= sizeof(int32_t))
    v = reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
  else if (atom->type == longType && atom->size >= sizeof(int64_t))
    v = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
  else if (atom->type == floatType && atom->size >= sizeof(float))
    v = reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
  else if (atom->type == doubleType && atom->size >= sizeof(double))
    v = reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
  else if (atom->type == boolType && atom->size >= sizeof(int32_t))
    v = reinterpret_cast<const LV2_Atom_Bool*>(atom)->body != 0 ? 1.0 : 0.0;
  else
    return false;
  if (!std::isfinite(v)) return false;
  *value = v;
  return true;
}

}  // namespace

// An LV2 audio instance has no editor: the host makes a separate editor
// instance for it.
bool InstanceHasEditor(const HostConnection* host) {
  return host != nullptr && host->role == HostConnection::Role::kEditor;
}

IPlugLV2::IPlugLV2(const HostConnection* host, int numParams, const char* channelIOString, int numPresets,
                   const char* effectName, const char* productName, const char* makerName, int32_t version,
                   int32_t uniqueId, int32_t makerId, int latency, bool takesMidi, bool usesChunks,
                   bool isInstrument)
    : IPlugBase(numParams, channelIOString, numPresets, effectName, productName, makerName, version, uniqueId,
                makerId, latency, takesMidi, usesChunks, isInstrument),
      mRole(host != nullptr ? host->role : HostConnection::Role::kAudio),
      mStateChunk(4096),
      mMessageChunk(4096),
      mReportChunk(4096) {
  // LV2 hosts do not say who they are.
  mHostKind = kHostUnknown;
  std::memset(&mForge, 0, sizeof mForge);
  std::memset(&mNotifyFrame, 0, sizeof mNotifyFrame);
  for (int i = 0; i < NumInputChannels(); ++i) InputAt(i).connected = true;
  for (int i = 0; i < NumOutputChannels(); ++i) OutputAt(i).connected = true;
  const size_t params = static_cast<size_t>(numParams > 0 ? numParams : 0);
  mControlPorts.assign(params, nullptr);
  // A NaN no host sends as a value (and never applied if one did): every
  // port counts as changed at the first run.
  mSeenBits.assign(params, 0xFFFFFFFFu);
  mRunValues.assign(params, 0.0);
  mChanged.assign(params, 0);
  mGrabbed.assign(params, 0);
  // Room for every program message: the audio thread never grows these.
  for (ChunkBuffer* chunk : {&mMessageChunk, &mReportChunk}) {
    chunk->Resize(kLv2MessageBytes);
    chunk->Clear();
  }
  if (host != nullptr) {
    if (host->sampleRate > 0.0 && std::isfinite(host->sampleRate)) ChangeSampleRate(host->sampleRate);
    mWrite = host->write;
    mController = host->controller;
  }
  ReadFeatures(host != nullptr ? host->features : nullptr);
}

IPlugLV2::~IPlugLV2() = default;

void IPlugLV2::ReadFeatures(const LV2_Feature* const* features) {
  const LV2_Options_Option* options = nullptr;
  for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
    const LV2_Feature* feature = features[i];
    if (feature->URI == nullptr) continue;
    if (std::strcmp(feature->URI, LV2_URID__map) == 0)
      mMap = static_cast<LV2_URID_Map*>(feature->data);
    else if (std::strcmp(feature->URI, LV2_OPTIONS__options) == 0)
      options = static_cast<const LV2_Options_Option*>(feature->data);
    else if (std::strcmp(feature->URI, LV2_UI__parent) == 0)
      mParent = feature->data;
    else if (std::strcmp(feature->URI, LV2_UI__resize) == 0)
      mResize = static_cast<const LV2UI_Resize*>(feature->data);
    else if (std::strcmp(feature->URI, LV2_UI__touch) == 0)
      mTouch = static_cast<const LV2UI_Touch*>(feature->data);
  }
  if (mMap != nullptr && mMap->map == nullptr) mMap = nullptr;
  if (mResize != nullptr && mResize->ui_resize == nullptr) mResize = nullptr;
  if (mTouch != nullptr && mTouch->touch == nullptr) mTouch = nullptr;

  int block = 1024;
  if (mMap != nullptr) {
    auto map = [this](const char* uri) { return mMap->map(mMap->handle, uri); };
    mUris.atomBlank = map(LV2_ATOM__Blank);
    mUris.atomObject = map(LV2_ATOM__Object);
    mUris.atomSequence = map(LV2_ATOM__Sequence);
    mUris.atomChunk = map(LV2_ATOM__Chunk);
    mUris.atomInt = map(LV2_ATOM__Int);
    mUris.atomLong = map(LV2_ATOM__Long);
    mUris.atomFloat = map(LV2_ATOM__Float);
    mUris.atomDouble = map(LV2_ATOM__Double);
    mUris.atomBool = map(LV2_ATOM__Bool);
    mUris.atomEventTransfer = map(LV2_ATOM__eventTransfer);
    mUris.timePosition = map(LV2_TIME__Position);
    mUris.timeFrame = map(LV2_TIME__frame);
    mUris.timeSpeed = map(LV2_TIME__speed);
    mUris.timeBeat = map(LV2_TIME__beat);
    mUris.timeBarBeat = map(LV2_TIME__barBeat);
    mUris.timeBeatUnit = map(LV2_TIME__beatUnit);
    mUris.timeBeatsPerBar = map(LV2_TIME__beatsPerBar);
    mUris.timeBeatsPerMinute = map(LV2_TIME__beatsPerMinute);
    mUris.patchGet = map(LV2_PATCH__Get);
    mUris.program = map(kLv2ProgramKey);
    mUris.chunk = map(kLv2ChunkKey);
    mUris.session = map(kLv2SessionKey);
    mUris.programMessage = map(kLv2ProgramMessage);
    mUris.maxBlockLength = map(LV2_BUF_SIZE__maxBlockLength);
    mUris.nominalBlockLength = map(LV2_BUF_SIZE__nominalBlockLength);
    mUris.scaleFactor = map(LV2_UI__scaleFactor);
    lv2_atom_forge_init(&mForge, mMap);

    // The scratch buffers hold the longest block the host announces; any
    // longer one is processed in pieces.
    int nominal = 0, longest = 0;
    for (const LV2_Options_Option* o = options; o != nullptr && o->key != 0; ++o) {
      if (o->key == mUris.scaleFactor && o->value != nullptr) {
        if (o->type == mUris.atomFloat && o->size >= sizeof(float))
          mHostScale = *static_cast<const float*>(o->value);
        else if (o->type == mUris.atomDouble && o->size >= sizeof(double))
          mHostScale = *static_cast<const double*>(o->value);
      }
      if (o->type != mUris.atomInt || o->size < sizeof(int32_t) || o->value == nullptr) continue;
      const int32_t frames = *static_cast<const int32_t*>(o->value);
      if (o->key == mUris.maxBlockLength) longest = frames;
      if (o->key == mUris.nominalBlockLength) nominal = frames;
    }
    if (longest > 0)
      block = longest;
    else if (nominal > 0)
      block = nominal;
  }
  ChangeBlockSize(block);
}

Lv2PortLayout IPlugLV2::Ports() const {
  Lv2PortLayout p;
  p.params = NumParams();
  p.meters = NumMeters();
  p.firstMeter = p.params;
  p.audioIns = const_cast<IPlugLV2*>(this)->NumInputChannels();
  p.firstAudioIn = p.firstMeter + p.meters;
  p.audioOuts = const_cast<IPlugLV2*>(this)->NumOutputChannels();
  p.firstAudioOut = p.firstAudioIn + p.audioIns;
  p.control = p.firstAudioOut + p.audioOuts;
  p.notify = p.control + 1;
  return p;
}

bool IPlugLV2::IsToggle(const ParamRecord& param) {
  return param.type == kTypeEnum && param.minimum == 0.0 && param.maximum == 1.0;
}

void IPlugLV2::PortRange(const ParamRecord& param, double* minimum, double* maximum) {
  const ParamQuantity* q = param.quantity;
  *minimum = q != nullptr ? q->minimum : param.minimum;
  *maximum = q != nullptr ? q->maximum : param.maximum;
}

double IPlugLV2::PortNumber(const ParamRecord& param, double value, double by) {
  const ParamQuantity* q = param.quantity;
  if (q == nullptr) return value;
  const double number = q->fromValue(value, by);
  if (number != number) return q->minimum;
  return number < q->minimum ? q->minimum : number > q->maximum ? q->maximum : number;
}

double IPlugLV2::ValueFromPort(const ParamRecord& param, float number, double by) {
  if (!std::isfinite(number)) return std::nan("");
  if (IsToggle(param)) return number > 0.0f ? 1.0 : 0.0;
  const ParamQuantity* q = param.quantity;
  if (param.type != kTypeDouble) {
    if (q == nullptr || param.valueTexts.empty()) return std::floor(static_cast<double>(number) + 0.5);
    // A host that shows a slider for the enumeration sends numbers between.
    double best = param.valueTexts[0].value, distance = HUGE_VAL;
    for (const ValueText& entry : param.valueTexts) {
      const double d = std::fabs(PortNumber(param, entry.value, by) - number);
      if (d < distance) {
        distance = d;
        best = entry.value;
      }
    }
    return best;
  }
  if (q == nullptr) return number;
  if (number <= q->minimum) return param.minimum;
  const double v = q->toValue(number, by);
  if (v != v) return std::nan("");
  return v < param.minimum ? param.minimum : v > param.maximum ? param.maximum : v;
}

double IPlugLV2::QuantityBy(const ParamRecord& param) const {
  const ParamRecord* other = param.quantity != nullptr ? ParamAt(param.quantity->dependsOn) : nullptr;
  return other != nullptr ? other->value : 0.0;
}

// Host services

void IPlugLV2::BeginParameterEdit(int index) {
  if (index < 0 || index >= NumParams()) return;
  mGrabbed[static_cast<size_t>(index)] = 1;
  if (mTouch != nullptr && mEditorOpen) mTouch->touch(mTouch->handle, static_cast<uint32_t>(index), true);
}

void IPlugLV2::EndParameterEdit(int index) {
  if (index < 0 || index >= NumParams()) return;
  mGrabbed[static_cast<size_t>(index)] = 0;
  if (mTouch != nullptr && mEditorOpen) mTouch->touch(mTouch->handle, static_cast<uint32_t>(index), false);
}

void IPlugLV2::NotifyHostOfParameter(int index, double normalised) {
  if (mSilent == 0) WritePort(index, true);
}

void IPlugLV2::WritePort(int index, bool dependents) {
  // The audio instance cannot change input ports: they are the host's.
  if (mRole != HostConnection::Role::kEditor || !mEditorOpen || mWrite == nullptr) return;
  const ParamRecord* param = ParamAt(index);
  if (param == nullptr) return;
  const float number = static_cast<float>(PortNumber(*param, param->value, QuantityBy(*param)));
  mWrite(mController, static_cast<uint32_t>(index), sizeof number, 0, &number);
  if (!dependents) return;
  for (int i = 0; i < NumParams(); ++i) {
    const ParamQuantity* q = ParamAt(i)->quantity;
    if (q != nullptr && q->dependsOn == index) WritePort(i, false);
  }
}

void IPlugLV2::NotifyHostOfProgramChange() {
  if (mRole != HostConnection::Role::kEditor || !mEditorOpen || mSilent > 0 || mMap == nullptr) return;
  if (!WriteProgramChunk(mReportChunk)) return;
  // Header, object, two properties: well within 128 bytes.
  std::vector<uint8_t> buffer(128 + static_cast<size_t>(mReportChunk.Size()));
  lv2_atom_forge_set_buffer(&mForge, buffer.data(), buffer.size());
  LV2_Atom_Forge_Frame frame;
  const LV2_Atom_Forge_Ref object = lv2_atom_forge_object(&mForge, &frame, 0, mUris.programMessage);
  lv2_atom_forge_key(&mForge, mUris.program);
  lv2_atom_forge_int(&mForge, CurrentPresetIndex());
  lv2_atom_forge_key(&mForge, mUris.chunk);
  lv2_atom_forge_atom(&mForge, static_cast<uint32_t>(mReportChunk.Size()), mUris.atomChunk);
  lv2_atom_forge_write(&mForge, mReportChunk.Data(), static_cast<uint32_t>(mReportChunk.Size()));
  lv2_atom_forge_pop(&mForge, &frame);
  if (object != 0) SendToAudioInstance(reinterpret_cast<const LV2_Atom*>(buffer.data()));
}

void IPlugLV2::SendToAudioInstance(const LV2_Atom* atom) {
  if (mWrite == nullptr || atom == nullptr) return;
  mWrite(mController, static_cast<uint32_t>(mLayout.control), static_cast<uint32_t>(sizeof(LV2_Atom) + atom->size),
         mUris.atomEventTransfer, atom);
}

void IPlugLV2::ReadTransport(TransportInfo* info) {
  // As a VST 2.4 host's time info reads: nothing musical said, nothing taken.
  if (!mTime.musical) return;
  const double advance = (mTime.elapsed + PieceOffset()) * mTime.speed;
  const double beats = mTime.hasTempo && SampleRate() > 0.0 ? advance * mTime.bpm / (60.0 * SampleRate()) : 0.0;
  const double unit = mTime.beatUnit > 0.0 ? mTime.beatUnit : 4.0;
  const double toQuarters = 4.0 / unit;
  if (mTime.hasFrame) info->samplePosition = mTime.frame + advance;
  if (mTime.hasBeat) {
    const double ppq = (mTime.beat + beats) * toQuarters;
    if (ppq >= 0.0) info->ppqPosition = ppq;
  }
  if (mTime.hasTempo) {
    const double tempo = mTime.bpm * toQuarters;
    if (tempo > 0.0) info->tempo = tempo;
  }
  if (mTime.hasBeat && mTime.hasBarBeat) {
    const double inBar = mTime.barBeat + beats;
    double barStart = mTime.beat + beats - inBar;
    if (mTime.beatsPerBar > 0.0) barStart += std::floor(inBar / mTime.beatsPerBar) * mTime.beatsPerBar;
    if (barStart * toQuarters >= 0.0) info->lastBarStart = barStart * toQuarters;
  }
  const int numerator = TruncateToInt(mTime.beatsPerBar);
  const int denominator = TruncateToInt(unit);
  if (numerator > 0 && denominator > 0) {
    info->numerator = numerator;
    info->denominator = denominator;
  }
  info->transportRunning = mTime.speed != 0.0;
}

int IPlugLV2::HostSamplePosition() {
  TransportInfo info;
  ReadTransport(&info);
  return WholeSamplePosition(info.samplePosition);
}

double IPlugLV2::HostTempo() {
  if (!mTime.musical || !mTime.hasTempo) return 0.0;
  const double tempo = mTime.bpm * 4.0 / (mTime.beatUnit > 0.0 ? mTime.beatUnit : 4.0);
  return tempo >= 0.0 ? tempo : 0.0;
}

void IPlugLV2::HostTimeSignature(int* numerator, int* denominator) {
  *numerator = 0;
  *denominator = 0;
  if (!mTime.musical) return;
  TransportInfo info;
  ReadTransport(&info);
  *numerator = info.numerator;
  *denominator = info.denominator;
}

void IPlugLV2::ResizeEditor(int width, int height) {
  if (mResize != nullptr && mEditorOpen) mResize->ui_resize(mResize->handle, width, height);
  EditorResized(Editor(), width, height);
}

// The audio instance

void IPlugLV2::PrepareAudio() {
  CriticalSectionGuard guard(mLock);
  mLayout = Ports();
  mMeterPorts.assign(static_cast<size_t>(mLayout.meters), nullptr);
  mMeterInfo.clear();
  for (int i = 0; i < mLayout.meters; ++i) mMeterInfo.push_back(MeterAt(i));
  mAudioIn.assign(static_cast<size_t>(mLayout.audioIns), nullptr);
  mAudioOut.assign(static_cast<size_t>(mLayout.audioOuts), nullptr);
  mMissingPorts = mLayout.params + mLayout.audioIns + mLayout.audioOuts;
  // As a VST 2.4 host's open and sample-rate requests do.
  NotifyAllParametersChanged();
  ResetProcessing();
}

void IPlugLV2::ConnectPort(uint32_t port, void* data) {
  const Lv2PortLayout& p = mLayout;
  const int64_t at = port;
  // Counts the required ports that are null, so run() asks one number.
  auto required = [this, data](auto*& slot) {
    mMissingPorts += (slot != nullptr) - (data != nullptr);
    slot = static_cast<std::remove_reference_t<decltype(slot)>>(data);
  };
  if (at < p.params) {
    required(mControlPorts[port]);
  } else if (at < p.firstMeter + p.meters) {
    mMeterPorts[port - p.firstMeter] = static_cast<float*>(data);
  } else if (at < p.firstAudioIn + p.audioIns) {
    required(mAudioIn[port - p.firstAudioIn]);
  } else if (at < p.firstAudioOut + p.audioOuts) {
    required(mAudioOut[port - p.firstAudioOut]);
  } else if (at == p.control) {
    mControlIn = static_cast<const LV2_Atom_Sequence*>(data);
  } else if (at == p.notify) {
    mNotifyOut = static_cast<LV2_Atom_Sequence*>(data);
  }
}

void IPlugLV2::Activate() {
  IPlugBase::Activate(true);
}

void IPlugLV2::Deactivate() {
  IPlugBase::Activate(false);
}

void IPlugLV2::SilenceOutputs(uint32_t frames) {
  for (float* port : mAudioOut)
    if (port != nullptr) std::memset(port, 0, sizeof(float) * frames);
}

void IPlugLV2::Run(uint32_t frames) {
  mNotifyOpen = false;
  if (mNotifyOut != nullptr && mMap != nullptr && mNotifyOut->atom.size >= sizeof(LV2_Atom_Sequence)) {
    lv2_atom_forge_set_buffer(&mForge, reinterpret_cast<uint8_t*>(mNotifyOut), mNotifyOut->atom.size);
    mNotifyOpen = lv2_atom_forge_sequence_head(&mForge, &mNotifyFrame, 0) != 0;
  }
  // A host that has not connected every port yet gets silence; nothing
  // else changes.
  if (mMissingPorts != 0) {
    SilenceOutputs(frames);
    if (mNotifyOpen) lv2_atom_forge_pop(&mForge, &mNotifyFrame);
    return;
  }

  float* inputs[2] = {nullptr, nullptr};
  float* outputs[2] = {nullptr, nullptr};
  for (size_t i = 0; i < mAudioIn.size() && i < 2; ++i) inputs[i] = const_cast<float*>(mAudioIn[i]);
  for (size_t i = 0; i < mAudioOut.size() && i < 2; ++i) outputs[i] = mAudioOut[i];
  AudioBlock block;
  block.frames = frames <= 0x7FFFFFFFu ? static_cast<int>(frames) : 0x7FFFFFFF;
  block.in32 = inputs;
  block.out32 = outputs;
  // Events split the block where they fall, so that a new position or
  // program takes effect at its frame.
  mEvents.Start(mControlIn != nullptr && mMap != nullptr && mControlIn->atom.type == mUris.atomSequence ? mControlIn
                                                                                                      : nullptr);
  ProcessAudio(block, &mEvents);
  mTime.elapsed += block.frames;

  for (size_t i = 0; i < mMeterPorts.size(); ++i) {
    if (mMeterPorts[i] == nullptr) continue;
    const MeterInfo& info = mMeterInfo[i];
    double v = MeterValue(static_cast<int>(i));
    v = v < info.minimum ? info.minimum : v > info.maximum ? info.maximum : v;
    *mMeterPorts[i] = static_cast<float>(v);
  }
  if (mNotifyOpen) lv2_atom_forge_pop(&mForge, &mNotifyFrame);
}

void IPlugLV2::RunEvents::Start(const LV2_Atom_Sequence* sequence) {
  mSequence = sequence;
  mNext = nullptr;
  mEnd = nullptr;
  if (sequence == nullptr) return;
  mNext = lv2_atom_sequence_begin(&sequence->body);
  mEnd = reinterpret_cast<const uint8_t*>(&sequence->body) + sequence->atom.size;
}

const LV2_Atom_Event* IPlugLV2::RunEvents::Peek() const {
  if (mSequence == nullptr || lv2_atom_sequence_is_end(&mSequence->body, mSequence->atom.size, mNext)) return nullptr;
  const uint8_t* eventEnd = reinterpret_cast<const uint8_t*>(&mNext->body + 1) + mNext->body.size;
  return eventEnd <= mEnd ? mNext : nullptr;
}

void IPlugLV2::RunEvents::BlockBegins() {
  mPlug.ApplyPorts();
  // A program message that came while the section was taken.
  if (mKeptProgram) {
    mKeptProgram = false;
    if (mPlug.ApplyProgramChunk(mPlug.mMessageChunk, mKeptIndex)) mPlug.mReportDue = true;
  }
}

int IPlugLV2::RunEvents::ApplyUntil(int position, int frames) {
  for (const LV2_Atom_Event* event = Peek(); event != nullptr; event = Peek()) {
    const int64_t when = event->time.frames;
    if (position < frames && when > position) return when < frames ? static_cast<int>(when) : frames;
    mPlug.ReadEvent(event, position);
    mNext = lv2_atom_sequence_next(mNext);
  }
  return frames;
}

void IPlugLV2::RunEvents::BlockEnds() {
  if (mPlug.mNotifyOpen && mPlug.mReportDue) mPlug.WriteReport();
}

void IPlugLV2::RunEvents::KeepForNextBlock() {
  // Positions are the audio thread's own; a program message waits, the
  // ports are read again by the next run.
  for (const LV2_Atom_Event* event = Peek(); event != nullptr; event = Peek()) {
    const int64_t when = event->time.frames;
    const LV2_Atom_Object* object = mPlug.ObjectOf(event);
    if (object != nullptr && object->body.otype == mPlug.mUris.timePosition) {
      mPlug.ReadTime(object, when > 0 ? static_cast<int>(when) : 0);
    } else if (object != nullptr && object->body.otype == mPlug.mUris.programMessage) {
      mKeptProgram = mPlug.CopyProgramMessage(object, &mKeptIndex);
    } else if (object != nullptr && object->body.otype == mPlug.mUris.patchGet) {
      mPlug.mReportDue = true;
    }
    mNext = lv2_atom_sequence_next(mNext);
  }
}

void IPlugLV2::ApplyPorts() {
  // The ports that changed since the last run are one batch: "Link L+R"
  // first, then the others in index order, as a VST 2.4 host setting them
  // one by one. A number the plug-in would give the value it holds is no
  // change, nor is one whose value only repeats the held one as far as a
  // float can tell: ports echo what the editor or a restored state set
  // exactly, and no conversion moves it. A quantity that depends on
  // another port reads it with this run's value.
  ParamChange changes[kMaxPortBatch];
  int count = 0;
  for (size_t i = 0; i < mControlPorts.size(); ++i) {
    const ParamRecord* param = ParamAt(static_cast<int>(i));
    mRunValues[i] = param->value;
    const float number = *mControlPorts[i];
    uint32_t bits;
    std::memcpy(&bits, &number, sizeof bits);
    if (bits == mSeenBits[i]) continue;
    mSeenBits[i] = bits;
    if (mAdoptPorts) continue;
    const int on = param->quantity != nullptr ? param->quantity->dependsOn : -1;
    const double byHeld = QuantityBy(*param);
    const double byRun = on >= 0 && static_cast<size_t>(on) < i ? mRunValues[static_cast<size_t>(on)] : byHeld;
    if (number == static_cast<float>(PortNumber(*param, param->value, byHeld)) ||
        number == static_cast<float>(PortNumber(*param, param->value, byRun)))
      continue;
    const double v = ValueFromPort(*param, number, byRun);
    if (v != v || static_cast<float>(v) == static_cast<float>(param->value)) continue;
    mRunValues[i] = v;
    if (count < kMaxPortBatch) changes[count++] = ParamChange{static_cast<int>(i), v};
  }
  // The values a restored state set stand; the ports start from here.
  mAdoptPorts = false;
  ChangeParameters(changes, count, ValueSource::kHostText);
}

const LV2_Atom_Object* IPlugLV2::ObjectOf(const LV2_Atom_Event* event) const {
  const LV2_Atom* body = &event->body;
  if ((body->type != mUris.atomObject && body->type != mUris.atomBlank) || body->size < sizeof(LV2_Atom_Object_Body))
    return nullptr;
  return reinterpret_cast<const LV2_Atom_Object*>(body);
}

void IPlugLV2::ReadEvent(const LV2_Atom_Event* event, int frame) {
  const LV2_Atom_Object* object = ObjectOf(event);
  if (object == nullptr) return;
  if (object->body.otype == mUris.timePosition) {
    ReadTime(object, frame);
  } else if (object->body.otype == mUris.programMessage) {
    if (ReadProgramMessage(object)) mReportDue = true;
  } else if (object->body.otype == mUris.patchGet) {
    mReportDue = true;
  }
}

void IPlugLV2::ReadTime(const LV2_Atom_Object* position, int at) {
  // Where the last position has moved to by now: the new one may say only
  // part of it.
  HostTime& t = mTime;
  const double since = t.elapsed + at;
  t.elapsed = -static_cast<double>(at);
  if (since != 0.0) {
    const double advance = since * t.speed;
    const double beats = t.hasTempo && SampleRate() > 0.0 ? advance * t.bpm / (60.0 * SampleRate()) : 0.0;
    t.frame += advance;
    t.beat += beats;
    t.barBeat += beats;
    if (t.beatsPerBar > 0.0) t.barBeat -= std::floor(t.barBeat / t.beatsPerBar) * t.beatsPerBar;
  }
  const LV2_Atom *frame = nullptr, *speed = nullptr, *beat = nullptr, *barBeat = nullptr, *unit = nullptr,
                 *perBar = nullptr, *bpm = nullptr;
  lv2_atom_object_get(position, mUris.timeFrame, &frame, mUris.timeSpeed, &speed, mUris.timeBeat, &beat,
                      mUris.timeBarBeat, &barBeat, mUris.timeBeatUnit, &unit, mUris.timeBeatsPerBar, &perBar,
                      mUris.timeBeatsPerMinute, &bpm, 0);
  const Uris& u = mUris;
  auto number = [&](const LV2_Atom* atom, double* v) {
    return NumberOf(atom, mMap, u.atomInt, u.atomLong, u.atomFloat, u.atomDouble, u.atomBool, v);
  };
  double v;
  if (number(frame, &v)) {
    t.frame = v;
    t.hasFrame = true;
  }
  if (number(speed, &v)) t.speed = v;
  if (number(beat, &v)) {
    t.beat = v;
    t.hasBeat = t.musical = true;
  }
  if (number(barBeat, &v)) {
    t.barBeat = v;
    t.hasBarBeat = t.musical = true;
  }
  if (number(bpm, &v)) {
    t.bpm = v;
    t.hasTempo = t.musical = true;
  }
  if (number(unit, &v)) {
    t.beatUnit = v;
    t.musical = true;
  }
  if (number(perBar, &v)) {
    t.beatsPerBar = v;
    t.musical = true;
  }
}

bool IPlugLV2::CopyProgramMessage(const LV2_Atom_Object* message, int* preset) {
  const LV2_Atom *index = nullptr, *chunk = nullptr;
  lv2_atom_object_get(message, mUris.program, &index, mUris.chunk, &chunk, 0);
  if (chunk == nullptr || chunk->type != mUris.atomChunk || chunk->size > static_cast<uint32_t>(mMessageChunk.Capacity()))
    return false;
  *preset = -1;
  if (index != nullptr && index->type == mUris.atomInt && index->size >= sizeof(int32_t))
    *preset = reinterpret_cast<const LV2_Atom_Int*>(index)->body;
  const int bytes = static_cast<int>(chunk->size);
  mMessageChunk.Resize(bytes);
  if (bytes > 0) std::memcpy(mMessageChunk.Data(), LV2_ATOM_BODY_CONST(chunk), static_cast<size_t>(bytes));
  return true;
}

bool IPlugLV2::ReadProgramMessage(const LV2_Atom_Object* message) {
  int preset = -1;
  return CopyProgramMessage(message, &preset) && ApplyProgramChunk(mMessageChunk, preset);
}

bool IPlugLV2::ApplyProgramChunk(const ChunkBuffer& chunk, int index) {
  return ReadHostState(chunk, StateAccepts::kProgram, index);
}

void IPlugLV2::WriteReport() {
  if (!WriteProgramChunk(mReportChunk)) return;
  // The sequence must hold the whole event, or it waits for the next run.
  const uint32_t size = static_cast<uint32_t>(mReportChunk.Size());
  const uint64_t needed = sizeof(LV2_Atom_Event) + sizeof(LV2_Atom_Object) + 2 * sizeof(LV2_Atom_Property_Body) +
                          sizeof(int64_t) + lv2_atom_pad_size(size) + 8;
  if (mForge.offset + needed > mForge.size) return;
  lv2_atom_forge_frame_time(&mForge, 0);
  LV2_Atom_Forge_Frame frame;
  lv2_atom_forge_object(&mForge, &frame, 0, mUris.programMessage);
  lv2_atom_forge_key(&mForge, mUris.program);
  lv2_atom_forge_int(&mForge, CurrentPresetIndex());
  lv2_atom_forge_key(&mForge, mUris.chunk);
  lv2_atom_forge_atom(&mForge, size, mUris.atomChunk);
  lv2_atom_forge_write(&mForge, mReportChunk.Data(), size);
  lv2_atom_forge_pop(&mForge, &frame);
  mReportDue = false;
}

LV2_State_Status IPlugLV2::SaveState(LV2_State_Store_Function store, LV2_State_Handle handle) {
  if (mMap == nullptr) return LV2_STATE_ERR_NO_FEATURE;
  if (store == nullptr) return LV2_STATE_ERR_UNKNOWN;
  CriticalSectionGuard guard(mLock);
  const uint32_t flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
  // The session: the whole plug-in, read back exactly.
  if (!WriteHostState(mStateChunk, StateKind::kSession)) return LV2_STATE_ERR_UNKNOWN;
  LV2_State_Status status = store(handle, mUris.session, mStateChunk.Data(), static_cast<size_t>(mStateChunk.Size()),
                                  mUris.atomChunk, flags);
  if (status != LV2_STATE_SUCCESS) return status;
  // The current program and its index as well, as the 2.0.3 bundle kept
  // them, so that it can still open the session.
  if (!WriteHostState(mStateChunk, StateKind::kProgram)) return LV2_STATE_ERR_UNKNOWN;
  status = store(handle, mUris.chunk, mStateChunk.Data(), static_cast<size_t>(mStateChunk.Size()), mUris.atomChunk,
                 flags);
  if (status != LV2_STATE_SUCCESS) return status;
  const int32_t program = CurrentPresetIndex();
  return store(handle, mUris.program, &program, sizeof program, mUris.atomInt, flags);
}

LV2_State_Status IPlugLV2::RestoreState(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
  if (mMap == nullptr) return LV2_STATE_ERR_NO_FEATURE;
  if (retrieve == nullptr) return LV2_STATE_ERR_UNKNOWN;
  size_t size = 0;
  uint32_t type = 0, flags = 0;
  // A session (this version), else the program and its index (2.0.3, and
  // the presets).
  const void* data = retrieve(handle, mUris.session, &size, &type, &flags);
  const bool session = data != nullptr;
  if (!session) data = retrieve(handle, mUris.chunk, &size, &type, &flags);
  if (data == nullptr) return LV2_STATE_ERR_NO_PROPERTY;
  if (type != mUris.atomChunk) return LV2_STATE_ERR_BAD_TYPE;
  if (size > 0x7FFFF000u) return LV2_STATE_ERR_UNKNOWN;
  int index = -1;
  size_t indexSize = 0;
  uint32_t indexType = 0;
  const void* indexData = session ? nullptr : retrieve(handle, mUris.program, &indexSize, &indexType, &flags);
  if (indexData != nullptr && indexType == mUris.atomInt && indexSize == sizeof(int32_t)) {
    int32_t stored;
    std::memcpy(&stored, indexData, sizeof stored);
    index = stored;
  } else if (indexData != nullptr && indexType == mUris.atomLong && indexSize == sizeof(int64_t)) {
    int64_t stored;
    std::memcpy(&stored, indexData, sizeof stored);
    index = stored >= 0 && stored < NumPresets() ? static_cast<int>(stored) : -1;
  }

  CriticalSectionGuard guard(mLock);
  const int bytes = static_cast<int>(size);
  mStateChunk.Resize(bytes);
  if (mStateChunk.Size() != bytes) return LV2_STATE_ERR_UNKNOWN;
  if (bytes > 0) std::memcpy(mStateChunk.Data(), data, size);
  const bool read = session ? ReadHostState(mStateChunk, StateAccepts::kAny) : ApplyProgramChunk(mStateChunk, index);
  if (!read) return LV2_STATE_ERR_UNKNOWN;
  // The host sets the session's port values as well; the state's exact
  // values stand over them, and the editor hears of the program.
  mAdoptPorts = true;
  mReportDue = true;
  RefreshEditorControls();
  return LV2_STATE_SUCCESS;
}
