#pragma once

// What the virtual driver pretends to be. Read at every init from the INI file
// beside the DLL, section [VirtualAsio]; an environment variable TONVANE_VASIO_<KEY>
// (the key in capitals, words joined by _) overrides a key, so a test can shape
// the device without touching files.
//
//   Outputs     output channels                          2
//   Inputs      input channels                           0
//   SampleType  ASIO sample type code of every channel   18 (Int32 LSB); any code
//   Rates       accepted rates, comma separated          44100,48000 (first is current)
//   Buffer      buffer size: min = max = preferred       256
//   Clock       realtime | fast                          realtime
//   Fail        operations that fail, comma separated    none; of init, getChannels,
//               getChannelInfo, canSampleRate, setSampleRate, getBufferSize,
//               createBuffers, start
//   RecordDir   directory for the recordings             empty: nothing recorded
//   MaxBuffers  buffer switches per start, 0 = no limit  0
//   SyncFirst   1: the first switch runs inside start()  0
//               on the caller's thread, as some drivers do
//   LateSwitch  1: one more switch, after stop() has     0
//               returned (inside disposeBuffers, from a thread of its own), as some
//               drivers send one late
//   RecordAppend 1: a driver object's recordings carry   0
//               on the files already in RecordDir (one recording across the host's
//               reopens) instead of starting them anew
//
// The device's events happen once per process, on one timeline that starts at the
// first init in the process and outlives every driver object (see timeline.h), so
// that a host that releases the driver and opens it again meets the device as it is
// by then:
//   ResetAfter  ms: asks the host for a reset            none
//               (kAsioResetRequest), then calls back no more, as many drivers do
//   ResetFrom   switch: the request comes from the       switch
//               switch thread, inside a buffer switch; thread: from a thread of the
//               driver's own
//   ResetBuffer the buffer size from the reset on, at    0: unchanged
//               the next init
//   DropAfter   ms: the device drops out: callbacks      none
//               stop and init fails ("not present"); 0: absent from the start
//   DropFor     ms the drop-out lasts; then callbacks    0: for good
//               come again and init succeeds

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tonvane::vasio {

struct TConfig {
  std::int32_t Outputs = 2;
  std::int32_t Inputs = 0;
  std::int32_t SampleType = 18;
  std::vector<double> Rates{44100.0, 48000.0};
  std::int32_t Buffer = 256;
  bool Realtime = true;
  std::set<std::string> Fail;
  std::string RecordDir;
  std::int64_t MaxBuffers = 0;
  bool SyncFirst = false;
  bool LateSwitch = false;
  bool RecordAppend = false;
  // Milliseconds on the device's timeline; negative: never.
  std::int64_t ResetAfter = -1;
  bool ResetFromThread = false;
  std::int32_t ResetBuffer = 0;
  std::int64_t DropAfter = -1;
  std::int64_t DropFor = 0;

  bool Fails(const char* operation) const { return Fail.count(operation) != 0; }
};

// Looks a key up ("Outputs"): its text, or nothing when it is not set.
using TConfigSource = std::function<std::optional<std::string>(const std::string& key)>;

// Builds the configuration from a source; a value that does not parse raises
// std::invalid_argument naming the key, so a mistyped test set-up fails loudly.
TConfig ParseConfig(const TConfigSource& source);

// The environment first, then the INI file at iniPath.
TConfig LoadConfig(const std::string& iniPath);

}  // namespace tonvane::vasio
