#pragma once

// The play command's answer for one file, reached through the plug-in's own steps
// and in its own words: the file must exist, open on a stream, and pass the format
// checks against the device's rate.

#include <cstdint>
#include <string>

#include "audio/audio_stream.h"

namespace tonvane {

struct TVerdict {
  enum class TKind { Plays, Refused, NotChecked };
  TKind Kind = TKind::Refused;
  // Refused: the play command's message. NotChecked: why the probe cannot tell.
  std::string Message;
  // The stream opened the file and filled the format.
  bool Opened = false;
};

// Loads the decoder from beside the program or from the folder above: a release has
// the probe in tools\ below the plug-in's files, and a build has both in one folder.
// Never through the search order, whose current folder may hold any copy, or none,
// whatever the plug-in's folder holds. False when neither place has it.
bool LoadDecoderNearProgram();

// Judges the file as a Play on a device at deviceRate Hz does. MP3 files are not
// judged without the decoder (haveDecoder): the plug-in has its own beside it.
TVerdict Judge(const std::string& fileName, std::int32_t deviceRate, bool haveDecoder, TAudioStream& stream,
               WAVEFORMATEX& format);

}  // namespace tonvane
