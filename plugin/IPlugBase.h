// The framework core of a plug-in, free of any plug-in format: parameters,
// presets, state chunks, channel I/O and the object's critical section.
//
// Threads: the host's audio thread enters through ProcessAudio; the host's
// other threads and the editor reach everything else. Every entry from
// outside holds the object's re-entrant critical section (see Lock) for a
// bounded hand-over: a value, a program switch, a chunk's copy. Window
// work, menus, message boxes, files and the network never hold it. The
// audio thread only tries it: when another thread holds it, the block is
// processed with the settings the signal path already has, and the host's
// changes that came with it wait for the next block (see ProcessAudio).
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/CriticalSection.h"
#include "plugin/ChannelIO.h"
#include "plugin/ChunkBuffer.h"
#include "plugin/HostServices.h"
#include "plugin/ParamRecord.h"
#include "plugin/PresetRecord.h"

class IGraphics;

constexpr int kNameSize = 128;  // effect, product and maker names

// A four-character code as a 32-bit number ('QVTR'), first character highest.
constexpr int32_t CharCode(char a, char b, char c, char d) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<unsigned char>(a)) << 24) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(b)) << 16) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(c)) << 8) |
                              static_cast<uint32_t>(static_cast<unsigned char>(d)));
}

// A value the effect shows but no host sets: its name and its range.
struct MeterInfo {
  const char* name = "";
  double minimum = 0.0;
  double maximum = 1.0;
};

// Where a new parameter value comes from; it decides the value's form and
// who else hears of it (see ChangeParameter).
enum class ValueSource {
  kHost,         // normalised, from the host's automation: the editor follows
  kHostText,     // a real value the host parsed from text: the editor follows
  kEditor,       // normalised, from a control: the host is told
  kLinkPartner,  // normalised, a linked partner: the host is told, the editor follows
};

// One block of the host's audio as every binding hands it to ProcessAudio:
// the host's channel pointers (any may be null: an input then reads
// silence, an output is not written) and whether the block is single or
// double precision and adds to (accumulate) or replaces the outputs.
struct AudioBlock {
  int frames = 0;
  bool doubles = false;
  bool accumulate = false;
  float* const* in32 = nullptr;
  float* const* out32 = nullptr;
  double* const* in64 = nullptr;
  double* const* out64 = nullptr;
};

// The outputs of a processed block that hold nothing but zeros, one bit per
// channel (bit 0 the first), among those the host gave: what formats report
// so that hosts can skip a silent plug-in.
uint64_t SilentOutputs(const AudioBlock& block, int channels);

// The bypass switch's texts as the formats show them, "On" and "Off", and
// what they take back: those in any case, with spaces around, or 1 and 0.
const char* BypassText(bool on);
bool BypassFromText(const char* text, bool* on);

// What a host sends with a block besides its audio, seen by the core as
// changes at frames of the block. A binding implements it for its format's
// events (queues, event lists, ports).
class BlockEvents {
 public:
  // The section is held. Before the first piece: what was kept from a
  // block processed without the section, and what the host's previous
  // calls left to send.
  virtual void BlockBegins() {}
  // The section is held. Applies every change due at or before `position`,
  // each frame's changes as one batch (ChangeParameters), and answers the
  // frame of the next change after `position`, or `frames` when none is
  // left; at `position` == `frames`, also those due at or past the end.
  virtual int ApplyUntil(int position, int frames) = 0;
  // The section is held, after the last piece.
  virtual void BlockEnds() {}
  // Another thread holds the section: the block is processed with the
  // settings the signal path has. Keeps what the host sent that must not
  // be lost (the last value of each parameter, say) for the next block.
  virtual void KeepForNextBlock() {}

 protected:
  ~BlockEvents() = default;
};

// One parameter change of a batch: a normalised value or a real one, as the
// batch's ValueSource says.
struct ParamChange {
  int index;
  double value;
};

class IPlugBase {
 public:
  IPlugBase(int numParams, const char* channelIOString, int numPresets, const char* effectName,
            const char* productName, const char* makerName, int32_t version, int32_t uniqueId,
            int32_t makerId, int latency, bool takesMidi, bool usesChunks, bool isInstrument);

  // The table of virtual operations, in its fixed order.
  virtual ~IPlugBase();
  virtual void ResetProcessing();
  virtual void ParameterChanged(int index);
  virtual void ProcessBlock(double** inputs, double** outputs, int frames);
  virtual void EditorOpened() {}
  virtual void EditorClosed() {}
  virtual void IdleTick() {}
  virtual void ActivationChanged(bool active);
  virtual void HandleMidiMessage(const MidiMessage& message) { SendMidiToHost(message); }
  virtual void HandleSysEx(const SysExMessage& message) {}  // not used by this effect
  virtual bool MidiKeyNameFor(int key, char* name);          // not used by this effect
  virtual bool WriteState(ChunkBuffer& chunk) { return SerializeParams(chunk); }
  virtual int ReadState(const ChunkBuffer& chunk, int position) { return UnserializeParams(chunk, position); }
  virtual bool StateMatches(const double* values, int start);  // not used by this effect
  virtual void EditorResized(IGraphics* editor, int width, int height) {}
  virtual bool UnusedQuery() { return false; }
  virtual void HostIdentified() {}
  virtual void UnusedNotice() {}
  virtual void SetParameterFromEditor(int index, double normalised);
  virtual void BeginParameterEdit(int index) = 0;
  virtual void NotifyHostOfParameter(int index, double normalised) = 0;
  virtual void EndParameterEdit(int index) = 0;
  virtual void NotifyHostOfProgramChange() = 0;
  // Not used by this effect: it asks only ReadTransport.
  virtual bool IsOffline() { return false; }
  virtual int HostSamplePosition() = 0;
  virtual double HostTempo() = 0;
  virtual void HostTimeSignature(int* numerator, int* denominator) = 0;
  virtual void ReadTransport(TransportInfo* info) = 0;
  virtual HostKind HostType() { return mHostKind; }
  virtual int PluginApiKind() { return mPluginApiKind; }
  virtual void ResizeEditor(int width, int height) = 0;
  virtual void PrepareForHost() {}
  // Takes ownership of the editor (destroyed with the plug-in), hands every
  // parameter's value to its controls and gives it its drawing surfaces.
  virtual void AttachEditor(IGraphics* editor);
  virtual void SetProcessingDelay(int frames) { mLatency = frames; }  // not used by this effect
  virtual bool SendMidiToHost(const MidiMessage& message) = 0;
  virtual bool SendSysExToHost(const SysExMessage& message) { return false; }  // not used by this effect
  virtual void RefreshEditorControls();
  virtual int UnserializePresets(const ChunkBuffer& chunk, int position);
  virtual void ModifyCurrentPreset(const char* name);
  virtual void UnusedPresetNotice() {}
  virtual void PresetsChanged() {}
  virtual void ChangeSampleRate(double rate);
  virtual void ChangeBlockSize(int frames);
  // Values the effect shows its user that no host sets (meters). Formats
  // whose editor runs in an instance of its own (LV2) carry them from the
  // audio instance to the editor's: MeterValue on the audio thread after
  // ProcessBlock, ShowMeter on the editor's thread of the other instance.
  virtual int NumMeters() const { return 0; }
  virtual MeterInfo MeterAt(int index) const { return MeterInfo(); }
  virtual double MeterValue(int index) const { return 0.0; }
  virtual void ShowMeter(int index, double value) {}
  // ProcessBlock on the host's single-precision buffers, for effects that
  // can do it with the bits of converting to and from the scratch buffers
  // around ProcessBlock; false (the default) when the effect cannot.
  virtual bool ProcessFloatBlock(float** inputs, float** outputs, int frames) { return false; }
  // On the audio thread with the section held, before every piece of a
  // block: the signal path takes the settings the other threads made.
  virtual void HandOverToAudio() {}
  // A switch that decides how other parameters apply (a link of two
  // channels), or -1. A batch of changes that sets it applies the others
  // with the switch at its minimum, and the switch's last value after them.
  virtual int BatchSwitch() const { return -1; }
  // Where a state record that WriteState wrote (or an older one ReadState
  // takes) starting at `position` ends, or -1 when the chunk ends inside
  // it; reads nothing into the plug-in.
  virtual int StateEnd(const ChunkBuffer& chunk, int position) const;

  IPlugBase(const IPlugBase&) = delete;
  IPlugBase& operator=(const IPlugBase&) = delete;

  // The object's re-entrant critical section.
  CriticalSection& Lock() { return mLock; }

  // Parameters.
  int NumParams() const { return static_cast<int>(mParams.size()); }
  ParamRecord* ParamAt(int index) const;
  // The one route of a new value: stores it (normalised values through the
  // parameter's mapping, real ones clamped to its range), tells the host
  // and shows it in the editor as `source` requires, and lets the effect
  // react (ParameterChanged). Takes the critical section; any thread.
  void ChangeParameter(int index, double value, ValueSource source);
  // Changes the host made at one moment (a VST3 block's points at one
  // offset, CLAP events at one time, a run's LV2 port values), each as
  // ChangeParameter in their order. When the batch sets the BatchSwitch,
  // the switch goes to its minimum first and to the batch's last value for
  // it after the others: a batch that turns a link off and sets the right
  // side keeps the right side; one that turns it on links after the batch.
  // Takes the section.
  void ChangeParameters(const ParamChange* changes, int count, ValueSource source);
  // The editor's scale, for format bindings, on the host's threads. The host
  // says the scale of its window (1 = 100 %; 0 or less: it says nothing):
  // it takes effect unless the user chose a zoom; a change while the window
  // is open resizes it, and ResizeEditor tells the host the new size.
  void SetHostScale(double scale);
  // The editor window's size in pixels at the scale in effect, for the
  // host's size requests; with the window closed the user's zoom and the
  // system's scale are read again first. False without an editor.
  bool EditorPixelSize(int* width, int* height);
  // Every parameter's value into the editor's controls (attach, preset
  // loads, chunks).
  void PushAllToEditor();
  void NotifyAllParametersChanged();
  void NotifyHostOfAllParameters();
  bool SerializeParams(ChunkBuffer& chunk);
  int UnserializeParams(const ChunkBuffer& chunk, int position);

  // State as hosts keep it. A program chunk (the version header, the
  // effect's record, the current preset's name) and a bank chunk (the
  // header and every preset) are VST 2.4's; a session, for the formats
  // whose state is the whole plug-in, is the session header, the current
  // preset's index, every preset as a bank holds them, and the current
  // values' record, so that nothing moves on the way back.
  enum class StateKind { kProgram, kBank, kSession };
  bool WriteHostState(ChunkBuffer& chunk, StateKind kind);
  // What a host hands back. Every format takes the same bytes by the same
  // rules: a session whatever was asked; a program or a bank as asked
  // (kAny: a program if the bytes are one, else a bank); bytes without a
  // header are a program. The bytes must read whole, to their last byte,
  // or nothing is taken: they are checked before anything changes. A
  // program goes into the current preset, or with `program` >= 0 into that
  // one, made current first. Takes the section.
  enum class StateAccepts { kProgram, kBank, kAny };
  bool ReadHostState(const ChunkBuffer& chunk, StateAccepts accepts, int program = -1);

  // Presets.
  int NumPresets() const { return static_cast<int>(mPresets.size()); }
  int CurrentPresetIndex() const { return mCurrentPreset; }
  PresetRecord* PresetAt(int index) const;
  const char* PresetName(int index) const;
  void FillEmptyPresets(int count);
  bool LoadPreset(int index);
  bool SerializePresets(ChunkBuffer& chunk);
  // One program as every format hands it to its host: the version header,
  // the effect's state record and the current preset's name.
  bool WriteProgramChunk(ChunkBuffer& chunk);
  // Reads the record and the name of a program chunk from `position`
  // (after its version header); the name renames the current preset.
  // Returns the position after the name: -1 when the chunk ended inside
  // the record, past the chunk's size when it ended inside the name.
  // Allocates nothing.
  int ReadProgram(const ChunkBuffer& chunk, int position);

  // Audio. The one entry of the host's audio thread: processes the block
  // in pieces the scratch buffers hold, cut where `events` (may be null)
  // has changes, inside a DenormalGuard. Tries the section and never waits
  // for it; without it, `events` keeps what it must for the next block and
  // the block is processed with the settings the signal path has. Answers
  // whether the section was held (so the binding's own shared state could
  // be touched).
  bool ProcessAudio(const AudioBlock& block, BlockEvents* events);
  // Inside ProcessBlock on the audio thread: the frames from the host
  // block's start to the piece being processed.
  int PieceOffset() const { return mPieceOffset; }

  // The host's bypass switch, where the format has one (VST3, CLAP): the
  // outputs move to the inputs, and back, through a crossfade of
  // kBypassFadeSeconds, while the effect goes on processing so that it
  // returns where it would have been. With the switch off and the fade
  // done, nothing touches the audio. Not part of any state: the host keeps
  // its own switch. The section is held.
  static constexpr double kBypassFadeSeconds = 0.01;
  void SetBypassed(bool on) { mBypassed = on; }
  bool Bypassed() const { return mBypassed; }

  // What every binding does when the host switches processing on or off,
  // in one order: the effect hears of it, and switching off clears what
  // the signal path holds (a bypass fade ends where it was going). Takes
  // the section.
  void Activate(bool active);

  // Channel I/O.
  bool LegalIO(int nIn, int nOut) const;
  int NumInputChannels() const { return static_cast<int>(mInputs.size()); }
  int NumOutputChannels() const { return static_cast<int>(mOutputs.size()); }
  InputChannel& InputAt(int i) { return *mInputs[i]; }
  OutputChannel& OutputAt(int i) { return *mOutputs[i]; }
  void SetInputConnected(int i, bool connected);
  void SetOutputConnected(int i, bool connected);
  // Bind the host's buffers for one block: tell the host we want MIDI, then
  // bind frames 0 .. frames - 1. Not used by our bindings, which bind in
  // pieces the scratch buffers hold (below).
  void AttachFloatBuffers(float** inputs, float** outputs, int frames);
  void AttachDoubleBuffers(double** inputs, double** outputs, int frames);
  // Bind frames offset .. offset + frames - 1 of the host's buffers; frames
  // must not exceed ScratchFrames().
  void BindFloatBuffers(float** inputs, float** outputs, int offset, int frames);
  void BindDoubleBuffers(double** inputs, double** outputs, int offset, int frames);
  // Stores (or adds) the connected outputs' results over the host buffers
  // bound by BindFloatBuffers.
  void WriteBackFloatOutputs(int frames, bool accumulate);
  // Processes frames offset .. offset + frames - 1 (at most ScratchFrames())
  // of the host's single-precision buffers: straight through
  // ProcessFloatBlock when every channel is there and outputs are replaced,
  // else through the scratch buffers. The same bits either way.
  void ProcessFloatPiece(float** inputs, float** outputs, int offset, int frames, bool accumulate);
  // Frames each scratch buffer holds: the block size, within sane bounds.
  int ScratchFrames() const { return mScratchFrames; }
  double** InputPointers() { return mInputPointers.data(); }
  double** OutputPointers() { return mOutputPointers.data(); }

  int BlockSize() const { return mBlockSize; }
  double SampleRate() const { return mSampleRate; }
  int Latency() const { return mLatency; }
  int TailSize() const { return mTailSize; }
  bool TakesMidi() const { return mTakesMidi; }
  bool UsesChunks() const { return mUsesChunks; }
  bool IsInstrument() const { return mIsInstrument; }
  int32_t Version() const { return mVersion; }
  int32_t UniqueId() const { return mUniqueId; }
  const char* EffectName() const { return mEffectName; }
  const char* ProductName() const { return mProductName; }
  const char* MakerName() const { return mMakerName; }
  IGraphics* Editor() const { return mEditor; }

 protected:
  // Tells the host that the plug-in wants MIDI; called at every block.
  virtual void WantMidiThisBlock() {}

  // Held by whatever changes what the audio thread reads without the
  // section (channels, scratch buffers, the sample rate): it waits, at most
  // one block, for an audio thread processing without the section, and
  // such a block meanwhile outputs silence. Formats forbid these changes
  // while processing; this keeps a host that makes them anyway safe.
  class AudioReconfiguration {
   public:
    explicit AudioReconfiguration(IPlugBase& plug);
    ~AudioReconfiguration();
    AudioReconfiguration(const AudioReconfiguration&) = delete;
    AudioReconfiguration& operator=(const AudioReconfiguration&) = delete;

   private:
    IPlugBase& mPlug;
  };

  CriticalSection mLock;  // created first, deleted last
  HostKind mHostKind = kHostNotAsked;
  int32_t mHostVersion = 0;
  int mPluginApiKind = 0;
  int mCurrentPreset = 0;

 private:
  std::vector<ParamRecord*> mParams;
  std::vector<PresetRecord*> mPresets;
  std::vector<ChannelIOPair*> mIOPairs;
  std::vector<double*> mInputPointers;
  std::vector<double*> mOutputPointers;
  std::vector<InputChannel*> mInputs;
  std::vector<OutputChannel*> mOutputs;
  IGraphics* mEditor = nullptr;

  // Where the bytes of a program chunk, a bank body or a session end when
  // they read whole from `position`; -1 otherwise.
  int ProgramEnd(const ChunkBuffer& chunk, int position) const;
  int BankEnd(const ChunkBuffer& chunk, int position) const;
  int SessionEnd(const ChunkBuffer& chunk, int position) const;
  void ReadSession(const ChunkBuffer& chunk, int position);
  // While a session's values are read back, or a batch of real values
  // turns a link on: a partner whose normalised value already agrees keeps
  // its exact value, so that nothing the host or the session set moves.
  bool mKeepAgreeingPartners = false;

  void ProcessPiece(const AudioBlock& block, int offset, int frames);
  void ProcessEffectPiece(const AudioBlock& block, int offset, int frames);
  // Around each piece while bypass is on or fading: the inputs before the
  // effect overwrites them (in place), then the crossfade into the outputs.
  void KeepDryInputs(const AudioBlock& block, int offset, int frames);
  void CrossfadeToDry(const AudioBlock& block, int offset, int frames);
  bool mBypassed = false;        // the host's switch (section)
  bool mBypassFadeEnds = false;  // the next piece starts at the switch's end (section)
  bool mBypassAudio = false;     // the switch as the last piece took it (audio thread)
  int mBypassFrames = 0;         // how far the fade has gone, 0 = the effect (audio thread)
  void SilenceOutputs(const AudioBlock& block);
  int mPieceOffset = 0;                      // audio thread
  std::atomic<int> mReconfiguring{0};        // AudioReconfiguration in progress
  std::atomic<bool> mAudioWithoutSection{false};

  char mEffectName[kNameSize];
  char mProductName[kNameSize];
  char mMakerName[kNameSize];
  int32_t mVersion;
  int32_t mUniqueId;
  int32_t mMakerId;
  int mBlockSize = 0;
  int mScratchFrames = 0;
  double mSampleRate = 44100.0;
  int mLatency;
  int mTailSize = 0;
  bool mTakesMidi;
  bool mUsesChunks;
  bool mIsInstrument;
};
