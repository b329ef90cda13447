// Our own declarations of the CLAP plug-in interface (version 1.x): the
// entry, the plug-in factory, plug-in and host records, processing, events,
// streams and the extensions this plug-in offers or asks its host for.
// Written from the interface's published identifiers, member order, layouts
// and constants; the static assertions at the end hold the layouts to what
// 64-bit Windows and Linux hosts pass.
//
// Only plugin/clap/ and the CLAP test host include this header.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define CLAP_ABI __cdecl
#else
#define CLAP_ABI
#endif

extern "C" {

// --- Versions, identifiers, fixed-point times -------------------------------

struct clap_version_t {
  uint32_t major;
  uint32_t minor;
  uint32_t revision;
};

// The interface version this plug-in is written against. Hosts accept every
// 1.x version.
constexpr clap_version_t kClapVersion = {1, 2, 0};
constexpr bool ClapVersionIsCompatible(const clap_version_t& v) { return v.major >= 1; }

typedef uint32_t clap_id;
constexpr clap_id CLAP_INVALID_ID = 0xFFFFFFFFu;

typedef int64_t clap_beattime;
typedef int64_t clap_sectime;
constexpr int64_t CLAP_BEATTIME_FACTOR = int64_t(1) << 31;
constexpr int64_t CLAP_SECTIME_FACTOR = int64_t(1) << 31;

constexpr uint32_t CLAP_NAME_SIZE = 256;
constexpr uint32_t CLAP_PATH_SIZE = 1024;

// --- Events -----------------------------------------------------------------

struct clap_event_header_t {
  uint32_t size;  // of the whole event
  uint32_t time;  // frame offset inside the block
  uint16_t space_id;
  uint16_t type;
  uint32_t flags;
};

constexpr uint16_t CLAP_CORE_EVENT_SPACE_ID = 0;

enum : uint32_t {
  CLAP_EVENT_IS_LIVE = 1u << 0,
  CLAP_EVENT_DONT_RECORD = 1u << 1,
};

enum : uint16_t {
  CLAP_EVENT_NOTE_ON = 0,
  CLAP_EVENT_NOTE_OFF = 1,
  CLAP_EVENT_NOTE_CHOKE = 2,
  CLAP_EVENT_NOTE_END = 3,
  CLAP_EVENT_NOTE_EXPRESSION = 4,
  CLAP_EVENT_PARAM_VALUE = 5,
  CLAP_EVENT_PARAM_MOD = 6,
  CLAP_EVENT_PARAM_GESTURE_BEGIN = 7,
  CLAP_EVENT_PARAM_GESTURE_END = 8,
  CLAP_EVENT_TRANSPORT = 9,
  CLAP_EVENT_MIDI = 10,
  CLAP_EVENT_MIDI_SYSEX = 11,
  CLAP_EVENT_MIDI2 = 12,
};

struct clap_event_param_value_t {
  clap_event_header_t header;
  clap_id param_id;
  void* cookie;
  int32_t note_id;
  int16_t port_index;
  int16_t channel;
  int16_t key;
  double value;
};

struct clap_event_param_gesture_t {
  clap_event_header_t header;
  clap_id param_id;
};

enum : uint32_t {
  CLAP_TRANSPORT_HAS_TEMPO = 1u << 0,
  CLAP_TRANSPORT_HAS_BEATS_TIMELINE = 1u << 1,
  CLAP_TRANSPORT_HAS_SECONDS_TIMELINE = 1u << 2,
  CLAP_TRANSPORT_HAS_TIME_SIGNATURE = 1u << 3,
  CLAP_TRANSPORT_IS_PLAYING = 1u << 4,
  CLAP_TRANSPORT_IS_RECORDING = 1u << 5,
  CLAP_TRANSPORT_IS_LOOP_ACTIVE = 1u << 6,
  CLAP_TRANSPORT_IS_WITHIN_PRE_ROLL = 1u << 7,
};

struct clap_event_transport_t {
  clap_event_header_t header;
  uint32_t flags;
  clap_beattime song_pos_beats;
  clap_sectime song_pos_seconds;
  double tempo;      // beats per minute
  double tempo_inc;  // per frame, until the next transport event
  clap_beattime loop_start_beats;
  clap_beattime loop_end_beats;
  clap_sectime loop_start_seconds;
  clap_sectime loop_end_seconds;
  clap_beattime bar_start;
  int32_t bar_number;
  uint16_t tsig_num;
  uint16_t tsig_denom;
};

struct clap_input_events_t {
  void* ctx;
  uint32_t(CLAP_ABI* size)(const clap_input_events_t* list);
  const clap_event_header_t*(CLAP_ABI* get)(const clap_input_events_t* list, uint32_t index);
};

struct clap_output_events_t {
  void* ctx;
  bool(CLAP_ABI* try_push)(const clap_output_events_t* list, const clap_event_header_t* event);
};

// --- Audio and processing ---------------------------------------------------

struct clap_audio_buffer_t {
  float** data32;
  double** data64;
  uint32_t channel_count;
  uint32_t latency;
  uint64_t constant_mask;
};

enum : int32_t {
  CLAP_PROCESS_ERROR = 0,
  CLAP_PROCESS_CONTINUE = 1,
  CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2,
  CLAP_PROCESS_TAIL = 3,
  CLAP_PROCESS_SLEEP = 4,
};
typedef int32_t clap_process_status;

struct clap_process_t {
  int64_t steady_time;
  uint32_t frames_count;
  const clap_event_transport_t* transport;  // at frame 0; null for a free-running host
  const clap_audio_buffer_t* audio_inputs;
  clap_audio_buffer_t* audio_outputs;
  uint32_t audio_inputs_count;
  uint32_t audio_outputs_count;
  const clap_input_events_t* in_events;
  const clap_output_events_t* out_events;
};

// --- Host and plug-in -------------------------------------------------------

struct clap_host_t {
  clap_version_t clap_version;
  void* host_data;
  const char* name;
  const char* vendor;
  const char* url;
  const char* version;
  const void*(CLAP_ABI* get_extension)(const clap_host_t* host, const char* extension_id);
  void(CLAP_ABI* request_restart)(const clap_host_t* host);
  void(CLAP_ABI* request_process)(const clap_host_t* host);
  void(CLAP_ABI* request_callback)(const clap_host_t* host);
};

struct clap_plugin_descriptor_t {
  clap_version_t clap_version;
  const char* id;
  const char* name;
  const char* vendor;
  const char* url;
  const char* manual_url;
  const char* support_url;
  const char* version;
  const char* description;
  const char* const* features;  // null-terminated
};

struct clap_plugin_t {
  const clap_plugin_descriptor_t* desc;
  void* plugin_data;
  bool(CLAP_ABI* init)(const clap_plugin_t* plugin);
  void(CLAP_ABI* destroy)(const clap_plugin_t* plugin);
  bool(CLAP_ABI* activate)(const clap_plugin_t* plugin, double sample_rate, uint32_t min_frames_count,
                           uint32_t max_frames_count);
  void(CLAP_ABI* deactivate)(const clap_plugin_t* plugin);
  bool(CLAP_ABI* start_processing)(const clap_plugin_t* plugin);
  void(CLAP_ABI* stop_processing)(const clap_plugin_t* plugin);
  void(CLAP_ABI* reset)(const clap_plugin_t* plugin);
  clap_process_status(CLAP_ABI* process)(const clap_plugin_t* plugin, const clap_process_t* process);
  const void*(CLAP_ABI* get_extension)(const clap_plugin_t* plugin, const char* id);
  void(CLAP_ABI* on_main_thread)(const clap_plugin_t* plugin);
};

constexpr char CLAP_PLUGIN_FACTORY_ID[] = "clap.plugin-factory";

struct clap_plugin_factory_t {
  uint32_t(CLAP_ABI* get_plugin_count)(const clap_plugin_factory_t* factory);
  const clap_plugin_descriptor_t*(CLAP_ABI* get_plugin_descriptor)(const clap_plugin_factory_t* factory,
                                                                   uint32_t index);
  const clap_plugin_t*(CLAP_ABI* create_plugin)(const clap_plugin_factory_t* factory, const clap_host_t* host,
                                                const char* plugin_id);
};

struct clap_plugin_entry_t {
  clap_version_t clap_version;
  bool(CLAP_ABI* init)(const char* plugin_path);
  void(CLAP_ABI* deinit)(void);
  const void*(CLAP_ABI* get_factory)(const char* factory_id);
};

// Plug-in features (descriptor keywords).
constexpr char CLAP_PLUGIN_FEATURE_AUDIO_EFFECT[] = "audio-effect";
constexpr char CLAP_PLUGIN_FEATURE_FREQUENCY_SHIFTER[] = "frequency-shifter";
constexpr char CLAP_PLUGIN_FEATURE_PITCH_SHIFTER[] = "pitch-shifter";
constexpr char CLAP_PLUGIN_FEATURE_STEREO[] = "stereo";

// --- Streams ----------------------------------------------------------------

struct clap_istream_t {
  void* ctx;
  // Bytes read; 0 at the end, -1 on error.
  int64_t(CLAP_ABI* read)(const clap_istream_t* stream, void* buffer, uint64_t size);
};

struct clap_ostream_t {
  void* ctx;
  // Bytes written; -1 on error.
  int64_t(CLAP_ABI* write)(const clap_ostream_t* stream, const void* buffer, uint64_t size);
};

// --- Extension: audio ports -------------------------------------------------

constexpr char CLAP_EXT_AUDIO_PORTS[] = "clap.audio-ports";
constexpr char CLAP_PORT_MONO[] = "mono";
constexpr char CLAP_PORT_STEREO[] = "stereo";

enum : uint32_t {
  CLAP_AUDIO_PORT_IS_MAIN = 1u << 0,
  CLAP_AUDIO_PORT_SUPPORTS_64BITS = 1u << 1,
  CLAP_AUDIO_PORT_PREFERS_64BITS = 1u << 2,
  CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 1u << 3,
};

struct clap_audio_port_info_t {
  clap_id id;
  char name[CLAP_NAME_SIZE];
  uint32_t flags;
  uint32_t channel_count;
  const char* port_type;
  clap_id in_place_pair;
};

struct clap_plugin_audio_ports_t {
  uint32_t(CLAP_ABI* count)(const clap_plugin_t* plugin, bool is_input);
  bool(CLAP_ABI* get)(const clap_plugin_t* plugin, uint32_t index, bool is_input, clap_audio_port_info_t* info);
};

// --- Extension: parameters --------------------------------------------------

constexpr char CLAP_EXT_PARAMS[] = "clap.params";

enum : uint32_t {
  CLAP_PARAM_IS_STEPPED = 1u << 0,
  CLAP_PARAM_IS_PERIODIC = 1u << 1,
  CLAP_PARAM_IS_HIDDEN = 1u << 2,
  CLAP_PARAM_IS_READONLY = 1u << 3,
  CLAP_PARAM_IS_BYPASS = 1u << 4,
  CLAP_PARAM_IS_AUTOMATABLE = 1u << 5,
  CLAP_PARAM_IS_MODULATABLE = 1u << 10,
  CLAP_PARAM_REQUIRES_PROCESS = 1u << 15,
  CLAP_PARAM_IS_ENUM = 1u << 16,
};

struct clap_param_info_t {
  clap_id id;
  uint32_t flags;
  void* cookie;
  char name[CLAP_NAME_SIZE];
  char module[CLAP_PATH_SIZE];
  double min_value;
  double max_value;
  double default_value;
};

struct clap_plugin_params_t {
  uint32_t(CLAP_ABI* count)(const clap_plugin_t* plugin);
  bool(CLAP_ABI* get_info)(const clap_plugin_t* plugin, uint32_t param_index, clap_param_info_t* param_info);
  bool(CLAP_ABI* get_value)(const clap_plugin_t* plugin, clap_id param_id, double* out_value);
  bool(CLAP_ABI* value_to_text)(const clap_plugin_t* plugin, clap_id param_id, double value, char* out_buffer,
                                uint32_t out_buffer_capacity);
  bool(CLAP_ABI* text_to_value)(const clap_plugin_t* plugin, clap_id param_id, const char* param_value_text,
                                double* out_value);
  void(CLAP_ABI* flush)(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out);
};

enum : uint32_t {
  CLAP_PARAM_RESCAN_VALUES = 1u << 0,
  CLAP_PARAM_RESCAN_TEXT = 1u << 1,
  CLAP_PARAM_RESCAN_INFO = 1u << 2,
  CLAP_PARAM_RESCAN_ALL = 1u << 3,
};

struct clap_host_params_t {
  void(CLAP_ABI* rescan)(const clap_host_t* host, uint32_t flags);
  void(CLAP_ABI* clear)(const clap_host_t* host, clap_id param_id, uint32_t flags);
  void(CLAP_ABI* request_flush)(const clap_host_t* host);
};

// --- Extension: state -------------------------------------------------------

constexpr char CLAP_EXT_STATE[] = "clap.state";

struct clap_plugin_state_t {
  bool(CLAP_ABI* save)(const clap_plugin_t* plugin, const clap_ostream_t* stream);
  bool(CLAP_ABI* load)(const clap_plugin_t* plugin, const clap_istream_t* stream);
};

struct clap_host_state_t {
  void(CLAP_ABI* mark_dirty)(const clap_host_t* host);
};

// --- Extension: editor ------------------------------------------------------

constexpr char CLAP_EXT_GUI[] = "clap.gui";
constexpr char CLAP_WINDOW_API_WIN32[] = "win32";
constexpr char CLAP_WINDOW_API_X11[] = "x11";

struct clap_window_t {
  const char* api;
  union {
    void* cocoa;
    void* uikit;
    unsigned long x11;
    void* win32;
    void* ptr;
  };
};

struct clap_gui_resize_hints_t {
  bool can_resize_horizontally;
  bool can_resize_vertically;
  bool preserve_aspect_ratio;
  uint32_t aspect_ratio_width;
  uint32_t aspect_ratio_height;
};

struct clap_plugin_gui_t {
  bool(CLAP_ABI* is_api_supported)(const clap_plugin_t* plugin, const char* api, bool is_floating);
  bool(CLAP_ABI* get_preferred_api)(const clap_plugin_t* plugin, const char** api, bool* is_floating);
  bool(CLAP_ABI* create)(const clap_plugin_t* plugin, const char* api, bool is_floating);
  void(CLAP_ABI* destroy)(const clap_plugin_t* plugin);
  bool(CLAP_ABI* set_scale)(const clap_plugin_t* plugin, double scale);
  bool(CLAP_ABI* get_size)(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
  bool(CLAP_ABI* can_resize)(const clap_plugin_t* plugin);
  bool(CLAP_ABI* get_resize_hints)(const clap_plugin_t* plugin, clap_gui_resize_hints_t* hints);
  bool(CLAP_ABI* adjust_size)(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
  bool(CLAP_ABI* set_size)(const clap_plugin_t* plugin, uint32_t width, uint32_t height);
  bool(CLAP_ABI* set_parent)(const clap_plugin_t* plugin, const clap_window_t* window);
  bool(CLAP_ABI* set_transient)(const clap_plugin_t* plugin, const clap_window_t* window);
  void(CLAP_ABI* suggest_title)(const clap_plugin_t* plugin, const char* title);
  bool(CLAP_ABI* show)(const clap_plugin_t* plugin);
  bool(CLAP_ABI* hide)(const clap_plugin_t* plugin);
};

struct clap_host_gui_t {
  void(CLAP_ABI* resize_hints_changed)(const clap_host_t* host);
  bool(CLAP_ABI* request_resize)(const clap_host_t* host, uint32_t width, uint32_t height);
  bool(CLAP_ABI* request_show)(const clap_host_t* host);
  bool(CLAP_ABI* request_hide)(const clap_host_t* host);
  void(CLAP_ABI* closed)(const clap_host_t* host, bool was_destroyed);
};

// --- Extensions: timers and file descriptors of the host's main loop --------

constexpr char CLAP_EXT_TIMER_SUPPORT[] = "clap.timer-support";

struct clap_plugin_timer_support_t {
  void(CLAP_ABI* on_timer)(const clap_plugin_t* plugin, clap_id timer_id);
};

struct clap_host_timer_support_t {
  bool(CLAP_ABI* register_timer)(const clap_host_t* host, uint32_t period_ms, clap_id* timer_id);
  bool(CLAP_ABI* unregister_timer)(const clap_host_t* host, clap_id timer_id);
};

constexpr char CLAP_EXT_POSIX_FD_SUPPORT[] = "clap.posix-fd-support";

enum : uint32_t {
  CLAP_POSIX_FD_READ = 1u << 0,
  CLAP_POSIX_FD_WRITE = 1u << 1,
  CLAP_POSIX_FD_ERROR = 1u << 2,
};

struct clap_plugin_posix_fd_support_t {
  void(CLAP_ABI* on_fd)(const clap_plugin_t* plugin, int fd, uint32_t flags);
};

struct clap_host_posix_fd_support_t {
  bool(CLAP_ABI* register_fd)(const clap_host_t* host, int fd, uint32_t flags);
  bool(CLAP_ABI* modify_fd)(const clap_host_t* host, int fd, uint32_t flags);
  bool(CLAP_ABI* unregister_fd)(const clap_host_t* host, int fd);
};

// --- Extension: the host's thread check -------------------------------------

constexpr char CLAP_EXT_THREAD_CHECK[] = "clap.thread-check";

struct clap_host_thread_check_t {
  bool(CLAP_ABI* is_main_thread)(const clap_host_t* host);
  bool(CLAP_ABI* is_audio_thread)(const clap_host_t* host);
};

}  // extern "C"

// --- Layouts on the 64-bit targets (LP64 Linux on x86-64 and ARM, LLP64 Windows)

#if defined(__x86_64__) || defined(_M_X64) || defined(__aarch64__)
static_assert(sizeof(clap_version_t) == 12, "clap_version_t");
static_assert(sizeof(clap_event_header_t) == 16, "clap_event_header_t");
static_assert(offsetof(clap_event_header_t, space_id) == 8 && offsetof(clap_event_header_t, flags) == 12,
              "clap_event_header_t");
static_assert(offsetof(clap_event_param_value_t, param_id) == 16 && offsetof(clap_event_param_value_t, cookie) == 24 &&
                  offsetof(clap_event_param_value_t, note_id) == 32 &&
                  offsetof(clap_event_param_value_t, key) == 40 && offsetof(clap_event_param_value_t, value) == 48 &&
                  sizeof(clap_event_param_value_t) == 56,
              "clap_event_param_value_t");
static_assert(sizeof(clap_event_param_gesture_t) == 20, "clap_event_param_gesture_t");
static_assert(offsetof(clap_event_transport_t, flags) == 16 && offsetof(clap_event_transport_t, song_pos_beats) == 24 &&
                  offsetof(clap_event_transport_t, tempo) == 40 &&
                  offsetof(clap_event_transport_t, loop_start_beats) == 56 &&
                  offsetof(clap_event_transport_t, bar_start) == 88 &&
                  offsetof(clap_event_transport_t, bar_number) == 96 &&
                  offsetof(clap_event_transport_t, tsig_num) == 100 &&
                  offsetof(clap_event_transport_t, tsig_denom) == 102 && sizeof(clap_event_transport_t) == 104,
              "clap_event_transport_t");
static_assert(sizeof(clap_input_events_t) == 24 && sizeof(clap_output_events_t) == 16, "event lists");
static_assert(offsetof(clap_audio_buffer_t, channel_count) == 16 && offsetof(clap_audio_buffer_t, constant_mask) == 24 &&
                  sizeof(clap_audio_buffer_t) == 32,
              "clap_audio_buffer_t");
static_assert(offsetof(clap_process_t, frames_count) == 8 && offsetof(clap_process_t, transport) == 16 &&
                  offsetof(clap_process_t, audio_inputs) == 24 && offsetof(clap_process_t, audio_outputs) == 32 &&
                  offsetof(clap_process_t, audio_inputs_count) == 40 &&
                  offsetof(clap_process_t, audio_outputs_count) == 44 && offsetof(clap_process_t, in_events) == 48 &&
                  offsetof(clap_process_t, out_events) == 56 && sizeof(clap_process_t) == 64,
              "clap_process_t");
static_assert(offsetof(clap_host_t, host_data) == 16 && offsetof(clap_host_t, name) == 24 &&
                  offsetof(clap_host_t, get_extension) == 56 && offsetof(clap_host_t, request_callback) == 80 &&
                  sizeof(clap_host_t) == 88,
              "clap_host_t");
static_assert(offsetof(clap_plugin_descriptor_t, id) == 16 && offsetof(clap_plugin_descriptor_t, features) == 80 &&
                  sizeof(clap_plugin_descriptor_t) == 88,
              "clap_plugin_descriptor_t");
static_assert(offsetof(clap_plugin_t, init) == 16 && offsetof(clap_plugin_t, reset) == 64 &&
                  offsetof(clap_plugin_t, process) == 72 && offsetof(clap_plugin_t, on_main_thread) == 88 &&
                  sizeof(clap_plugin_t) == 96,
              "clap_plugin_t");
static_assert(sizeof(clap_plugin_factory_t) == 24, "clap_plugin_factory_t");
static_assert(offsetof(clap_plugin_entry_t, init) == 16 && sizeof(clap_plugin_entry_t) == 40, "clap_plugin_entry_t");
static_assert(sizeof(clap_istream_t) == 16 && sizeof(clap_ostream_t) == 16, "streams");
static_assert(offsetof(clap_audio_port_info_t, flags) == 260 && offsetof(clap_audio_port_info_t, port_type) == 272 &&
                  offsetof(clap_audio_port_info_t, in_place_pair) == 280 && sizeof(clap_audio_port_info_t) == 288,
              "clap_audio_port_info_t");
static_assert(offsetof(clap_param_info_t, cookie) == 8 && offsetof(clap_param_info_t, name) == 16 &&
                  offsetof(clap_param_info_t, module) == 272 && offsetof(clap_param_info_t, min_value) == 1296 &&
                  offsetof(clap_param_info_t, default_value) == 1312 && sizeof(clap_param_info_t) == 1320,
              "clap_param_info_t");
static_assert(sizeof(clap_plugin_params_t) == 48 && sizeof(clap_host_params_t) == 24, "params extension");
static_assert(sizeof(clap_window_t) == 16 && offsetof(clap_window_t, x11) == 8, "clap_window_t");
static_assert(offsetof(clap_gui_resize_hints_t, aspect_ratio_width) == 4 && sizeof(clap_gui_resize_hints_t) == 12,
              "clap_gui_resize_hints_t");
static_assert(sizeof(clap_plugin_gui_t) == 15 * 8 && sizeof(clap_host_gui_t) == 5 * 8, "gui extension");
static_assert(sizeof(clap_host_timer_support_t) == 16 && sizeof(clap_host_posix_fd_support_t) == 24,
              "main-loop extensions");
#endif
