// The streaming table reader against the loaded list: for any file bytes (any mark), the
// records read one at a time are the lines of the list after loading and record assembly, and
// the first pass finds the list's first line, encoding and quote test; a text with a NUL byte
// is refused by the first pass, never read in part.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "Error.h"
#include "FuzzCheck.h"
#include "MyLib.h"
#include "StringListEX.h"
#include "TableReader.h"

namespace {

std::string g_path;  // the table file of every run, removed when the process ends

void RemoveFile() { unlink(g_path.c_str()); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char in_memory[] = "/dev/shm/tessarin_reader_fuzz_XXXXXX";
  char on_disk[] = "/tmp/tessarin_reader_fuzz_XXXXXX";
  int fd = mkstemp(in_memory);
  g_path = in_memory;
  if (fd < 0) {
    fd = mkstemp(on_disk);
    g_path = on_disk;
  }
  if (fd < 0) std::abort();
  close(fd);
  std::atexit(RemoveFile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const uint8_t how = input.ConsumeIntegral<uint8_t>();
  const std::string_view marks[] = {"", kMarkUtf8, kMarkUtf16Le, kMarkUtf16Be};
  const char delimiter = ",;\t|"[(how >> 2) % 4];
  const char quote = (how >> 4) % 4 == 3 ? '\0' : "\"'|"[(how >> 4) % 4];
  const uint8_t style = (how >> 6) + 1;
  const std::string bytes = std::string(marks[how % 4]) + input.ConsumeRemainingBytesAsString();
  std::ofstream(g_path, std::ios::binary | std::ios::trunc) << bytes;
  const std::string details = "delimiter " + fuzz::Shown(std::string(1, delimiter)) + " quote " +
                              fuzz::Shown(std::string(1, quote)) + " style " +
                              std::to_string(style) + "\nbytes " + fuzz::Shown(bytes);

  TStringListCSVEX list;
  list.LoadFromStreamEX(bytes);
  TableProbe probe;
  try {
    probe = ProbeTableFile(g_path, quote, [delimiter](std::string_view) { return delimiter; });
  } catch (const TessarinError&) {
    std::string text;
    TableText whole(g_path);
    while (whole.Next(&text)) {
    }
    fuzz::Check(text.find('\0') != std::string::npos, "only a text with a NUL is refused",
                details);
    return 0;
  }
  fuzz::Check(probe.has_lines == (list.LineCount() > 0), "the first pass sees the lines",
              details);
  // The first pass names only a UTF-16 encoding; a kept UTF-8 mark is the list's own business.
  const bool utf16 = list.TextEncoding == TStringListEX::kEncodingUtf16Le ||
                     list.TextEncoding == TStringListEX::kEncodingUtf16Be;
  fuzz::Check(probe.encoding == (utf16 ? list.TextEncoding : 0) && probe.write_bom == utf16,
              "the first pass finds the UTF-16 encoding", details);
  if (probe.has_lines) {
    fuzz::Check(probe.first_line == list.GetLine(0), "the first pass finds the first line",
                details + "\nfirst line " + fuzz::Shown(probe.first_line));
  }
  bool quote_test = false;
  for (long long r = 0; r < list.LineCount() && quote != 0; ++r) {
    const std::string_view line = list.LineView(r);
    if ((!line.empty() && line[0] == quote) ||
        FindPair(line, delimiter, quote) != std::string_view::npos) {
      quote_test = true;
    }
  }
  fuzz::Check(probe.quote_after_delimiter == quote_test, "the first pass makes the quote test",
              details);

  list.Delimiter = delimiter;
  list.QuoteMark = quote;
  list.LineBreakStyle = style;
  list.AssembleRecords();
  TableText text(g_path);
  LineSplitter lines(&text);
  RecordAssembler records(&lines, delimiter, quote, LineBreakToken(style, 0));
  std::string_view record;
  long long r = 0;
  for (; records.Next(&record); ++r) {
    fuzz::Check(r < list.LineCount() && record == list.LineView(r),
                "the streamed records are the assembled lines",
                details + "\nrecord " + std::to_string(r) + " " + fuzz::Shown(record));
  }
  fuzz::Check(r == list.LineCount(), "as many records streamed as assembled", details);
  return 0;
}
