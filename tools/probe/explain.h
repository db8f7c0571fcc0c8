#pragma once

// Why the plug-in refuses a file, in the words of the file's own header rather than
// the play command's, and a converter's command that makes a file it plays.

#include <cstdint>
#include <string>

#include "verdict.h"

namespace tonvane {

struct TExplanation {
  // What the file is, or what is wrong with it: "24-bit, 2 channels, 48000 Hz,
  // extensible WAV header".
  std::string Reason;
  // A sox or lame command line writing a mended copy beside the file; empty when no
  // converter can mend it.
  std::string Fix;
};

// For a refused file: reads what the play command did not need to read.
TExplanation Explain(const std::string& fileName, const TVerdict& verdict, std::int32_t deviceRate);

}  // namespace tonvane
