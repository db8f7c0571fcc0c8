#pragma once

// The ASIO records and result codes. Portable: the buffer-switch engine reads the
// buffer records on every switch, and it is built and tested natively too. Every
// integer field is 32 bits wide, whatever the platform's long is.

#include <cstdint>

#if defined(_WIN32)
#define TONVANE_ASIO_CALLBACK __cdecl
#else
#define TONVANE_ASIO_CALLBACK
#endif

namespace tonvane {

using ASIOBool = std::int32_t;
using ASIOError = std::int32_t;
using ASIOSampleRate = double;

constexpr ASIOBool ASIOFalse = 0;
constexpr ASIOBool ASIOTrue = 1;

// Results of the driver's operations. init is the exception: it answers with an
// ASIOBool, 1 when the device is ready.
constexpr ASIOError ASE_OK = 0;
constexpr ASIOError ASE_SUCCESS = 0x3f4847a0;  // future() only: the selector is supported
constexpr ASIOError ASE_NotPresent = -1000;
constexpr ASIOError ASE_HWMalfunction = -999;
constexpr ASIOError ASE_InvalidParameter = -998;
constexpr ASIOError ASE_InvalidMode = -997;
constexpr ASIOError ASE_SPNotAdvancing = -996;
constexpr ASIOError ASE_NoClock = -995;
constexpr ASIOError ASE_NoMemory = -994;

// A 64-bit count carried as two 32-bit halves, the high half first.
struct ASIOSamples {
  std::uint32_t hi;
  std::uint32_t lo;
};
using ASIOTimeStamp = ASIOSamples;

struct ASIOClockSource {
  std::int32_t index;
  std::int32_t associatedChannel;
  std::int32_t associatedGroup;
  ASIOBool isCurrentSource;
  char name[32];
};

// The caller sets channel and isInput; the driver fills the rest.
struct ASIOChannelInfo {
  std::int32_t channel;
  ASIOBool isInput;
  ASIOBool isActive;
  std::int32_t channelGroup;
  std::int32_t type;
  char name[32];
};

// One per channel handed to createBuffers; the driver fills buffers[0] and
// buffers[1], the two halves that bufferSwitch names by index.
struct ASIOBufferInfo {
  ASIOBool isInput;
  std::int32_t channelNum;
  void* buffers[2];
};

// Time information is never used here; the record stays opaque.
struct ASIOTime;

// What a driver may ask or tell the host through asioMessage (the selector). The
// host answers kAsioSelectorSupported, with another selector as the value, with 1
// for each one it handles.
inline constexpr std::int32_t kAsioSelectorSupported = 1;
inline constexpr std::int32_t kAsioEngineVersion = 2;
inline constexpr std::int32_t kAsioResetRequest = 3;
inline constexpr std::int32_t kAsioBufferSizeChange = 4;
inline constexpr std::int32_t kAsioResyncRequest = 5;
inline constexpr std::int32_t kAsioLatenciesChanged = 6;
inline constexpr std::int32_t kAsioSupportsTimeInfo = 7;
inline constexpr std::int32_t kAsioSupportsTimeCode = 8;

// The host's four entry points, called by the driver in the C convention, possibly
// on a thread of the driver's own.
struct ASIOCallbacks {
  void(TONVANE_ASIO_CALLBACK* bufferSwitch)(std::int32_t doubleBufferIndex, ASIOBool directProcess);
  void(TONVANE_ASIO_CALLBACK* sampleRateDidChange)(ASIOSampleRate sRate);
  std::int32_t(TONVANE_ASIO_CALLBACK* asioMessage)(std::int32_t selector, std::int32_t value, void* message,
                                                   double* opt);
  ASIOTime*(TONVANE_ASIO_CALLBACK* bufferSwitchTimeInfo)(ASIOTime* params, std::int32_t doubleBufferIndex,
                                                         ASIOBool directProcess);
};

}  // namespace tonvane
