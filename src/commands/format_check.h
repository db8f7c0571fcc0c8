#pragma once

#include <cstdint>
#include <string>

#include "audio/audio_stream.h"

namespace tonvane {

// The play command's messages for a name that is no existing file (its own check,
// before any channel is touched) and for a file that the stream cannot open. Also
// tonvane-probe's verdicts, which must be the command's words.
extern const char kFileDoesNotExist[];
extern const char kUnknownFormat[];
// A Play while the device the window keeps has stopped calling back and is being
// opened again: refused, so that no Play is answered OK for sound it cannot make.
extern const char kDeviceStopped[];

// Whether a file can play at a rate, as the play command judges it, in two steps for
// the two moments of a Play: CheckPlayFileExists before any channel is touched, and
// CheckOpenedForPlay once the file was opened on a stream (or could not be), with the
// device's rate asked after the open. Each raises tonvane::Exception with the play
// command's message of the first fault; tonvane-probe judges with the same two.
void CheckPlayFileExists(const std::string& fileName);
void CheckOpenedForPlay(bool opened, const WAVEFORMATEX& format, std::int32_t deviceRate);

// What the play command refuses in an opened file's format, in the order it looks:
// raises tonvane::Exception with the message of the first fault, and returns when
// the file can play on a device running at deviceRate Hz (the driver's rate rounded
// to a whole number). A file that does not open at all is the caller's kUnknownFormat.
void CheckPlayFormat(const WAVEFORMATEX& format, std::int32_t deviceRate);

// The whole number nearest to a rate a driver reports (47999.6 is 48000), halves
// away from zero, whatever rounding the thread's floating-point unit was left in;
// 0 for a rate no 32-bit number holds.
std::int32_t WholeRate(double rate);

}  // namespace tonvane
