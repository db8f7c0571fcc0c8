#include "timeline.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

namespace tonvane::vasio {
namespace {

// The host's thread reads it at init while a driver's thread may mark the reset.
std::mutex timelineMutex;

bool Parse(const char* text, TTimeline& timeline) {
  unsigned long long start = 0;
  int sent = 0;
  long buffer = 0;
  long long resetAt = -1, switchAt = -1;
  int starts = 0;
  if (std::sscanf(text, "start=%llu reset=%d buffer=%ld resetAt=%lld switchAt=%lld starts=%d", &start, &sent,
                  &buffer, &resetAt, &switchAt, &starts) != 6)
    return false;
  timeline.Starts = starts;
  timeline.StartMs = start;
  timeline.ResetSent = sent != 0;
  timeline.Buffer = static_cast<std::int32_t>(buffer);
  timeline.ResetAt = resetAt;
  timeline.SwitchAt = switchAt;
  return true;
}

void Write(const TTimeline& timeline) {
  char text[160];
  std::snprintf(text, sizeof text, "start=%llu reset=%d buffer=%ld resetAt=%lld switchAt=%lld starts=%d",
                static_cast<unsigned long long>(timeline.StartMs), timeline.ResetSent ? 1 : 0,
                static_cast<long>(timeline.Buffer), static_cast<long long>(timeline.ResetAt),
                static_cast<long long>(timeline.SwitchAt), static_cast<int>(timeline.Starts));
  SetEnvironmentVariableA(kTimelineVariable, text);
}

TTimeline ReadLocked() {
  char text[160] = {};
  const DWORD n = GetEnvironmentVariableA(kTimelineVariable, text, sizeof text);
  TTimeline timeline;
  if (n > 0 && n < sizeof text && Parse(text, timeline)) return timeline;
  timeline.StartMs = GetTickCount64();
  Write(timeline);
  return timeline;
}

}  // namespace

std::int64_t TTimeline::Now() const { return static_cast<std::int64_t>(GetTickCount64() - StartMs); }

TTimeline ReadTimeline() {
  std::lock_guard<std::mutex> lock(timelineMutex);
  return ReadLocked();
}

void MarkResetSent(std::int32_t buffer) {
  std::lock_guard<std::mutex> lock(timelineMutex);
  TTimeline timeline = ReadLocked();
  timeline.ResetSent = true;
  timeline.Buffer = buffer;
  timeline.ResetAt = timeline.Now();
  Write(timeline);
}

void MarkFirstSwitch() {
  std::lock_guard<std::mutex> lock(timelineMutex);
  TTimeline timeline = ReadLocked();
  timeline.SwitchAt = timeline.Now();
  ++timeline.Starts;
  Write(timeline);
}

}  // namespace tonvane::vasio
