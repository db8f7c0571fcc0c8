#pragma once

// Why the plug-in refuses a file, in the words of the file's own header rather than
// the play command's, and a converter's command that makes a file it plays.

#include <cstdint>
#include <string>
#include <utility>

#include "verdict.h"

namespace tonvane {

struct TExplanation {
  TExplanation(std::string reason, std::string fix) : Reason(std::move(reason)), Fix(std::move(fix)) {}

  // What the file is, or what is wrong with it: "24-bit, 2 channels, 48000 Hz,
  // extensible WAV header".
  std::string Reason;
  // A sox or lame command line writing a mended copy beside the file; empty when no
  // converter can mend it. sox's commands never clip a file that reaches full scale:
  // they guard (-G) and leave room for the dither sox adds where it drops bits.
  std::string Fix;
  // For a file of two channels: two commands writing each channel as a mono file of
  // its own ("-left", "-right"), to play on two channels; empty otherwise.
  std::string SplitLeft, SplitRight;
};

// For a refused file: reads what the play command did not need to read. The fix
// writes `output` when given, else the "-fixed" copy beside the file.
TExplanation Explain(const std::string& fileName, const TVerdict& verdict, std::int32_t deviceRate,
                     const std::string& output = {});

// The extension of the file a fix of fileName writes: its own, or ".wav" where lame
// cannot write an MP3 file at that rate.
std::string FixedExtension(const std::string& fileName, std::int32_t deviceRate);

}  // namespace tonvane
