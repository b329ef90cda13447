// A small VST3 host for tests: loads Veltrane.vst3 through its exported
// entry points only, makes the plug-in's class through the module's
// factory and plays the host's part with our own declarations of the
// format: the application, a component handler that records every call and
// the thread it came on, state streams, parameter queues, the process
// context, and on Linux a frame with a run loop. Nothing here links the
// plug-in's code.
//
// Nothing a process() call touches on the host's side allocates: the
// queues are reserved up front, so the allocation audit counts the
// plug-in alone.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "plugin/vst3/vst3_interfaces.h"

namespace vst3host {

using Bytes = std::vector<uint8_t>;

// Host objects belong to the test that made them; the plug-in's references
// are counted, never freed.
template <class... Interfaces>
class Counted : public Interfaces... {
 public:
  uint32_t addRef() override { return ++refs; }
  uint32_t release() override { return --refs; }
  std::atomic<uint32_t> refs{1};
};

class MemoryStream : public Counted<vst3::IBStream> {
 public:
  explicit MemoryStream(Bytes data = {}) : bytes(std::move(data)) {}
  vst3::tresult queryInterface(const vst3::TUID iid, void** obj) override;
  vst3::tresult read(void* buffer, int32_t numBytes, int32_t* numBytesRead) override;
  vst3::tresult write(void* buffer, int32_t numBytes, int32_t* numBytesWritten) override;
  vst3::tresult seek(int64_t pos, int32_t mode, int64_t* result) override;
  vst3::tresult tell(int64_t* pos) override;

  Bytes bytes;
  int64_t position = 0;
  int32_t mostPerCall = 0x7FFFFFFF;  // a stream that moves fewer bytes per call
};

class ParamQueue : public Counted<vst3::IParamValueQueue> {
 public:
  ParamQueue() { points.reserve(512); }
  vst3::tresult queryInterface(const vst3::TUID iid, void** obj) override;
  vst3::ParamID getParameterId() override { return id; }
  int32_t getPointCount() override { return static_cast<int32_t>(points.size()); }
  vst3::tresult getPoint(int32_t index, int32_t& sampleOffset, vst3::ParamValue& value) override;
  vst3::tresult addPoint(int32_t sampleOffset, vst3::ParamValue value, int32_t& index) override;

  vst3::ParamID id = 0;
  std::vector<std::pair<int32_t, double>> points;
};

class ParamChanges : public Counted<vst3::IParameterChanges> {
 public:
  static constexpr int kCapacity = 64;
  vst3::tresult queryInterface(const vst3::TUID iid, void** obj) override;
  int32_t getParameterCount() override { return used; }
  vst3::IParamValueQueue* getParameterData(int32_t index) override;
  vst3::IParamValueQueue* addParameterData(const vst3::ParamID& id, int32_t& index) override;

  // The host's side: a point for the next block, and after one, what the
  // plug-in reported.
  void Add(vst3::ParamID id, int32_t offset, double value);
  const ParamQueue* Find(vst3::ParamID id) const;
  void Clear();

  ParamQueue queues[kCapacity];
  int used = 0;
};

class EventList : public Counted<vst3::IEventList> {
 public:
  vst3::tresult queryInterface(const vst3::TUID iid, void** obj) override;
  int32_t getEventCount() override { return 0; }
  vst3::tresult getEvent(int32_t, vst3::Event&) override { return vst3::kResultFalse; }
  vst3::tresult addEvent(vst3::Event&) override { return vst3::kResultFalse; }
};

class HostApplication : public Counted<vst3::IHostApplication> {
 public:
  vst3::tresult queryInterface(const vst3::TUID iid, void** obj) override;
  vst3::tresult getName(vst3::String128 name) override;
  vst3::tresult createInstance(vst3::TUID, vst3::TUID, void** obj) override;
};

// Records the plug-in's calls: edit gestures, restarts, program lists.
class Handler : public Counted<vst3::IComponentHandler, vst3::IUnitHandler> {
 public:
  struct Call {
    char kind;  // 'b'egin, 'p'erform, 'e'nd, 'r'estart, 'l'ist changed
    vst3::ParamID id;
    double value;
    std::thread::id thread;
  };
  vst3::tresult queryInterface(const vst3::TUID iid, void** obj) override;
  vst3::tresult beginEdit(vst3::ParamID id) override { return Note('b', id, 0.0); }
  vst3::tresult performEdit(vst3::ParamID id, vst3::ParamValue v) override { return Note('p', id, v); }
  vst3::tresult endEdit(vst3::ParamID id) override { return Note('e', id, 0.0); }
  vst3::tresult restartComponent(int32_t flags) override { return Note('r', 0, flags); }
  vst3::tresult notifyUnitSelection(vst3::UnitID) override { return vst3::kResultOk; }
  vst3::tresult notifyProgramListChange(vst3::ProgramListID list, int32_t index) override {
    return Note('l', static_cast<vst3::ParamID>(list), index);
  }

  std::vector<Call> Calls() const;
  // The calls as text, one "kind id" per call ("b 3 p 3 e 3"), values left out.
  std::string Script() const;
  void Clear();

 private:
  vst3::tresult Note(char kind, vst3::ParamID id, double value);
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};

// The host's frame around the editor; on Linux with the run loop hosts
// must offer there. A resize request is granted and answered with the
// view's onSize, as hosts do; each request's size and onSize's answer are
// kept.
class Frame : public Counted<vst3::IPlugFrame
#if !defined(_WIN32)
                             ,
                             vst3::IRunLoop
#endif
                             > {
 public:
  vst3::tresult queryInterface(const vst3::TUID iid, void** obj) override;
  vst3::tresult resizeView(vst3::IPlugView* view, vst3::ViewRect* newSize) override;

  struct Resize {
    int width;
    int height;
    vst3::tresult onSize;
  };
  std::vector<Resize> resizes;
#if !defined(_WIN32)
  vst3::tresult registerEventHandler(vst3::IEventHandler* handler, vst3::FileDescriptor fd) override;
  vst3::tresult unregisterEventHandler(vst3::IEventHandler* handler) override;
  vst3::tresult registerTimer(vst3::ITimerHandler* handler, vst3::TimerInterval ms) override;
  vst3::tresult unregisterTimer(vst3::ITimerHandler* handler) override;
  // Runs the loop for a while: timers when due, handlers when their
  // descriptor is readable (Vst3RunLoopPosix.cpp).
  void RunFor(int milliseconds);

  struct Timer {
    vst3::ITimerHandler* handler;
    uint64_t interval;
    int64_t due;
  };
  std::vector<Timer> timers;
  std::vector<std::pair<vst3::IEventHandler*, int>> fds;
#endif
};

// A loaded bundle; kept loaded for the life of the process.
class Module {
 public:
  explicit Module(const std::string& bundle);
  const std::string& error() const { return error_; }
  vst3::IPluginFactory* factory() const { return factory_; }

 private:
  std::string error_;
  vst3::IPluginFactory* factory_ = nullptr;
};

// The bundle given on the command line (or VELTRANE_VST3), loaded once.
void SetBundlePath(const std::string& path);
const Module& SharedModule();

// One instance as a host holds it: created through the factory,
// initialised with the host application and given the handler.
class Instance {
 public:
  static std::unique_ptr<Instance> Create(const Module& module = SharedModule());
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  // setupProcessing, setActive(1), setProcessing(1).
  void Start(double sampleRate = 44100.0, int maxBlock = 1024, int32_t sampleSize = vst3::kSample32);
  void Stop();

  // One process() call on planar buffers (one bus each); the input queue
  // goes with it and is emptied after, the output queue is emptied before.
  template <typename Sample>
  vst3::tresult Process(Sample** inputs, int inChannels, Sample** outputs, int outChannels, int frames);

  Bytes GetState();
  vst3::tresult SetState(const Bytes& bytes);
  std::string ParamText(vst3::ParamID id, double normalised);
  double ParamValueOf(vst3::ParamID id, const std::string& text);

  vst3::IComponent* component = nullptr;
  vst3::IAudioProcessor* processor = nullptr;
  vst3::IEditController* controller = nullptr;
  vst3::IUnitInfo* units = nullptr;
  HostApplication application;
  Handler handler;
  ParamChanges input;
  ParamChanges output;
  EventList events;
  vst3::ProcessContext context{};
  bool sendContext = false;
  uint64_t silenceFlags = 0;  // the output bus's, after the last Process

 private:
  Instance() = default;
  bool started_ = false;
};

// Renders planar audio in blocks whose sizes cycle through `blocks`;
// before(at) runs ahead of each block.
template <typename Sample>
std::vector<std::vector<Sample>> Render(Instance& plugin, const std::vector<std::vector<Sample>>& in,
                                        const std::vector<int>& blocks,
                                        const std::function<void(size_t)>& before = nullptr) {
  const size_t frames = in[0].size();
  std::vector<std::vector<Sample>> out(2, std::vector<Sample>(frames, Sample(0)));
  size_t at = 0;
  for (size_t b = 0; at < frames; ++b) {
    const size_t n = std::min(frames - at, static_cast<size_t>(blocks[b % blocks.size()]));
    if (before) before(at);
    Sample* inputs[2] = {const_cast<Sample*>(in[0].data() + at), const_cast<Sample*>(in[1].data() + at)};
    Sample* outputs[2] = {out[0].data() + at, out[1].data() + at};
    plugin.Process(inputs, 2, outputs, 2, static_cast<int>(n));
    at += n;
  }
  return out;
}

std::string FromUtf16(const vst3::char16* text);
void ToUtf16(const std::string& text, vst3::char16* out, int capacity);

}  // namespace vst3host
