#include "asio/device_signals.h"

#include "asio_types.h"

namespace tonvane {

std::int32_t AnswerAsioMessage(TDeviceSignals& signals, std::int32_t selector, std::int32_t value) {
  switch (selector) {
    case kAsioSelectorSupported:
      return value == kAsioEngineVersion || value == kAsioResetRequest || value == kAsioResyncRequest ||
                     value == kAsioLatenciesChanged
                 ? 1
                 : 0;
    case kAsioEngineVersion:
      return 2;
    case kAsioResetRequest:
      signals.RequestReset();
      return 1;
    default:
      // A resync or a latency change needs nothing here: the buffer switch uses no
      // sample positions and reports no latency.
      return 0;
  }
}

}  // namespace tonvane
