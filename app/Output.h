// The program's own lines: messages and progress lines, notes of our own, the progress meter
// on a terminal, and data written to standard output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// From now on the program's messages go to standard error: standard output carries data.
void SendMessagesToStandardError();

/// Writes the text and a line break where the program's messages go (standard output unless
/// SendMessagesToStandardError() was called).
void PrintLine(std::string_view text);

/// Writes "tessarin: " + text and a line break to standard error.
void PrintNote(std::string_view text);

/// Writes data bytes to standard output. Throws TessarinError when they cannot be written.
void WriteData(std::string_view bytes);

/// A line on standard error that shows how far a long run has come ("share done, MB/s"),
/// rewritten in place and cleared when the meter ends. It appears only when standard error is a
/// terminal and the run has lasted more than a second; otherwise the meter does nothing.
/// Messages printed meanwhile clear it first. One meter at a time.
class ProgressMeter {
 public:
  /// `total`: the bytes Advance() counts towards; 0 shows no share.
  ProgressMeter(std::string what, uint64_t total);
  ~ProgressMeter();
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  /// `bytes` more are done. Cheap enough to call for every row.
  void Advance(uint64_t bytes) {
    done_ += bytes;
    if (active_ && ++calls_ % kCallsPerLook == 0) Look();
  }
  /// A step that gives no count of its own ("sorting"): shown in place of the share, at once
  /// when the run has lasted long enough already.
  void Phase(std::string what);
  /// A step counted in bytes from here on: `total` of them, none done yet.
  void Count(std::string what, uint64_t total);

 private:
  static constexpr unsigned kCallsPerLook = 1024;
  void Look();

  std::string what_;
  uint64_t total_;
  uint64_t done_ = 0;
  bool active_;
  unsigned calls_ = 0;
  int64_t started_ms_;
  int64_t counting_ms_;  // when the bytes counted now began: the base of the rate
  int64_t shown_ms_ = 0;
};
