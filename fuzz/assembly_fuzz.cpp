// Record assembly: the records are the physical lines, in order, joined where a quoted field
// stays open; no byte is lost or added but the join token between two joined lines. The
// grouping is checked against the quote scan run step by step on the lines, and against
// RecordStarts(), which sort and duplicate removal group records by.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "MyLib.h"
#include "StringListEX.h"

namespace {

using Lines = std::vector<std::string>;

// The scan in its most literal form: one byte at a time, the state carried across lines.
Lines ReferenceAssembly(const Lines& lines, char delimiter, char quote, const std::string& token) {
  Lines out;
  bool open = false;
  bool pending = false;
  std::string gathered;
  for (const std::string& line : lines) {
    size_t start = 0;
    bool scan = open;
    if (!open && quote != 0 && !line.empty()) {
      if (line[0] == quote) {
        scan = true;
        start = 1;
      } else {
        for (size_t i = 0; i + 1 < line.size(); ++i) {
          if (line[i] == delimiter && line[i + 1] == quote) {
            scan = true;
            start = i + 2;
            break;
          }
        }
      }
      open = scan;
    }
    if (scan) {
      for (size_t p = start; p < line.size(); ++p) {
        if (line[p] != quote) continue;
        if (!open) {
          open = true;
        } else if (p + 1 < line.size() && line[p + 1] == quote) {
          ++p;
        } else {
          open = false;
        }
      }
    }
    gathered = pending ? gathered + token + line : line;
    pending = open;
    if (!open) out.push_back(gathered);
  }
  if (pending) out.push_back(gathered);
  return out;
}

std::string Shown(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += fuzz::Shown(line) + "\n";
  return text;
}

char Pick(FuzzedDataProvider* input, const char* usual) {
  const uint8_t b = input->ConsumeIntegral<uint8_t>();
  return b < 200 ? usual[b % std::char_traits<char>::length(usual)] : static_cast<char>(b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  TStringListCSVEX table;
  table.Delimiter = Pick(&input, ",;\t|");
  const uint8_t q = input.ConsumeIntegral<uint8_t>();
  table.QuoteMark = q < 100 ? '"' : q < 180 ? '\'' : q < 200 ? '\0' : static_cast<char>(q);
  table.LineBreakStyle = input.ConsumeIntegralInRange<uint8_t>(0, 5);
  table.RecordJoinKind = input.ConsumeIntegralInRange<uint8_t>(0, 3);
  // Loaded lines never hold a line break; a NUL byte is an ordinary byte here.
  Lines lines;
  const std::string text = input.ConsumeRemainingBytesAsString();
  size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  for (const std::string& line : lines) table.AddLine(line);

  const std::string token = LineBreakToken(table.LineBreakStyle, table.RecordJoinKind);
  const std::vector<size_t> starts = table.RecordStarts();
  table.AssembleRecords();
  Lines records;
  for (long long r = 0; r < table.LineCount(); ++r) records.push_back(table.GetLine(r));
  const std::string details = "delimiter " + fuzz::Shown(std::string(1, table.Delimiter)) +
                              " quote " + fuzz::Shown(std::string(1, table.QuoteMark)) +
                              " token " + fuzz::Shown(token) + "\nlines:\n" + Shown(lines) +
                              "records:\n" + Shown(records);

  // Every record is the next lines joined by the token: nothing lost, nothing added.
  size_t next = 0;
  for (size_t r = 0; r < records.size(); ++r) {
    fuzz::Check(next < lines.size(), "no record without a line", details);
    const size_t end = r + 1 < starts.size() ? starts[r + 1] : lines.size();
    fuzz::Check(r < starts.size() && starts[r] == next, "records begin where RecordStarts says",
                details);
    std::string joined = lines[next];
    for (size_t i = next + 1; i < end; ++i) joined += token + lines[i];
    fuzz::Check(records[r] == joined, "a record is its lines joined by the token", details);
    next = end;
  }
  fuzz::Check(next == lines.size() && starts.size() == records.size(),
              "every line is in a record", details);
  fuzz::Check(records == ReferenceAssembly(lines, table.Delimiter, table.QuoteMark, token),
              "the grouping is the one of the step-by-step quote scan", details);
  return 0;
}
