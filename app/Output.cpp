#include "Output.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "Platform.h"

namespace {

bool messages_on_stderr = false;
size_t progress_width = 0;  // characters of the progress line now on the terminal

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Blanks the progress line, so that the next line starts on a clean terminal line.
void ClearProgressLine() {
  if (progress_width == 0) return;
  platform::WriteErrorText("\r" + std::string(progress_width, ' ') + "\r");
  progress_width = 0;
}

void ShowProgressLine(const std::string& text) {
  std::string line = "\r" + text;
  // Spaces over what a longer earlier line left behind; no terminal escapes needed.
  if (text.size() < progress_width) line.append(progress_width - text.size(), ' ');
  platform::WriteErrorText(line);
  progress_width = text.size();
}

}  // namespace

void SendMessagesToStandardError() { messages_on_stderr = true; }

void PrintLine(std::string_view text) {
  ClearProgressLine();
  if (messages_on_stderr) {
    std::fflush(stdout);
    platform::WriteErrorLine(std::string(text));
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

void PrintNote(std::string_view text) {
  ClearProgressLine();
  std::fflush(stdout);  // the note belongs after the lines printed before it
  platform::WriteErrorLine("tessarin: " + std::string(text));
}

void WriteData(std::string_view bytes) { platform::WriteStandardOutput(bytes); }

ProgressMeter::ProgressMeter(std::string what, uint64_t total)
    : what_(std::move(what)),
      total_(total),
      active_(platform::StandardErrorIsTerminal()),
      started_ms_(active_ ? NowMs() : 0),
      counting_ms_(started_ms_) {}

ProgressMeter::~ProgressMeter() {
  if (active_) ClearProgressLine();
}

void ProgressMeter::Phase(std::string what) {
  what_ = std::move(what);
  total_ = 0;
  if (active_) {
    shown_ms_ = 0;
    Look();
  }
}

void ProgressMeter::Count(std::string what, uint64_t total) {
  what_ = std::move(what);
  total_ = total;
  done_ = 0;
  if (active_) counting_ms_ = NowMs();
}

void ProgressMeter::Look() {
  const uint64_t done = done_;
  constexpr int64_t kQuietMs = 1000;  // short runs show nothing
  constexpr int64_t kRedrawMs = 200;  // a steady line, not a flicker
  const int64_t now = NowMs();
  const int64_t elapsed = now - started_ms_;
  if (elapsed < kQuietMs || now - shown_ms_ < kRedrawMs) return;
  shown_ms_ = now;
  char text[160];
  const int64_t counting = std::max<int64_t>(now - counting_ms_, 1);
  const double mb_per_s = static_cast<double>(done) / 1e6 / (static_cast<double>(counting) / 1e3);
  if (done == 0) {
    std::snprintf(text, sizeof text, "tessarin: %s...", what_.c_str());
  } else if (total_ > 0) {
    const double share = 100.0 * static_cast<double>(done) / static_cast<double>(total_);
    std::snprintf(text, sizeof text, "tessarin: %s %3.0f%% %.1f MB/s", what_.c_str(),
                  share > 100 ? 100 : share, mb_per_s);
  } else {
    std::snprintf(text, sizeof text, "tessarin: %s %.1f MB/s", what_.c_str(), mb_per_s);
  }
  ShowProgressLine(text);
}
