#pragma once

// The feeder's side of a channel: borrowing its source, reading it into the ring
// outside every guard, handing it back, and the host taking it back from a borrower
// whose read hangs. The same read loop fills the ring at a Play (on the host's thread,
// with the source its own) and at a feeder thread's visit.
#include <cstddef>

#include "playback/channel_state.h"

namespace tonvane {

// How a feeder thread tells its pool where it is. Between Away and Back it touches
// no channel except through the source it has out, under that source's HandBack.
class IReadWatch {
 public:
  virtual ~IReadWatch() = default;
  // Before the reads of a visit from `source`, which stays alive until Back or
  // Dropping; false when the channels are going: read nothing.
  virtual bool Away(const TChannelSource& source) = 0;
  // The source was found abandoned and is about to be let go of (a close may wait on
  // the storage): the pool must not look at it any more.
  virtual void Dropping() = 0;
  // After the source was handed back or let go of; false when the thread must not
  // touch the channels again.
  virtual bool Back() = 0;
};

// What a feeder thread's visit to a channel came to.
enum class TVisit {
  Idle,    // nothing read: the channel is not feeding, someone else has it, or a
           // read failed and waits to be tried again
  Worked,  // the stream gave samples or was worked through
  Gone,    // the watch said not to touch the channels again
};

// A feeder thread's visit: borrows the source if the channel is feeding and nobody
// has it, reads up to `samples` samples outside every guard and hands them back into
// the ring. A read error with sound still in the ring is tried again at a later
// visit; with the ring empty, the channel ends as at the end of its data.
TVisit VisitChannel(TChannelState& channel, std::size_t samples, IReadWatch* watch = nullptr);

// What the channel's feeder side offers the host's steps (TChannelState's friend).
class TChannelFeed {
 public:
  // What one pass of the read loop came to.
  enum class TFilled {
    Samples,    // samples went into the ring (or the stream had nothing yet)
    Ended,      // the data was worked through; the stream is closed
    Failed,     // a read failed; nothing more was read
    Abandoned,  // the host took the channel back meanwhile; the source is the caller's
  };

  // The host's thread, under the stream guard, with the source its own: up to
  // `samples` into the ring, a read that fails before any sound tried again.
  static TFilled Prefill(TChannelState& channel, std::size_t samples);
  // The host's thread, under the stream guard: takes the source back from a feeder
  // thread that has it out, abandoning it to that thread; the channel gets a new,
  // closed source when `replace` (allocated first, so that a failed allocation
  // changes nothing).
  static void Reclaim(TChannelState& channel, bool replace = true);

 private:
  friend TVisit VisitChannel(TChannelState&, std::size_t, IReadWatch*);
  // Under no guard: lends the source to the calling feeder thread, if the channel is
  // feeding and nobody has it.
  static TSourceRef Borrow(TChannelState& channel);
  // Gives a lent source back to its channel; false when the host abandoned it
  // meanwhile (the channel is then not touched).
  static bool HandBack(TChannelState& channel, TChannelSource& source);
  // The read loop: reads `source` outside every guard and takes each read into the
  // channel under the source's HandBack, up to `samples` samples or the ring's room.
  // Before the channel has `started`, a failed read is never the end. `worked` is set
  // once a read gave samples or was worked through.
  static TFilled Fill(TChannelState& channel, TChannelSource& source, std::size_t samples, bool started,
                      bool& worked);
};

}  // namespace tonvane
