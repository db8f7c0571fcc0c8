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
