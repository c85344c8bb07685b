// Sort (-s) and duplicate removal (-nd, -ndl), both rewriting the table in place. The table is
// read as a stream of records: only the keys and where each record stands are held, and the
// records are copied to the new table in their new order. A table read from standard input
// (which can be read only once) is loaded whole instead.
#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "Error.h"
#include "LargeVector.h"
#include "Modes.h"
#include "MyLib.h"
#include "Output.h"
#include "RecordGather.h"
#include "RecordKeys.h"
#include "TableFileWriter.h"
#include "TableSetup.h"

namespace {

// The output buffer of duplicate removal with keep-last: a few passes over the table at most,
// in a fixed amount of memory.
constexpr size_t kDedupeGatherBuffer = size_t{32} << 20;

// What a rewrite works from: the table entry found, and the format a first quick pass settled.
// The pass also refuses a table holding a NUL byte before anything is written. Quoting is
// settled as for unpack, so a key holding the delimiter inside quotes is one value here too;
// keys decode stored tokens of the default style, as the style options only shape text files.
struct RewriteSource {
  std::optional<std::string> found;
  TableProbe probe;
  TableFormat format;
};

RewriteSource OpenForRewrite(const RunSettings& s, TStringListCSVEX* table) {
  RewriteSource source;
  source.found = FindEntryNoCase(s.TablePath);
  // The first pass stops once the format is settled: the pass over the records refuses a NUL
  // byte in the rest, still before anything is written. A negative column is refused after a
  // NUL byte is, wherever that stands.
  if (source.found) source.probe = ProbeTable(s, *source.found, s.KeyColumn < 0);
  source.format = FormatForRewrite(ChoiceOf(s), source.probe);
  ApplyFormat(source.format, table);
  // A negative column fails whatever the table holds, before anything is written.
  if (s.KeyColumn < 0) throw IndexError(s.KeyColumn);
  return source;
}

// A record holding a NUL byte refuses the table, as the first pass does when it reads it all.
void RefuseNul(const RewriteSource& source, const TableRecords& records, std::string_view record) {
  if (!records.NulFree()) RefuseNulByte(source.probe, *source.found, record);
}

// The records of the table as its physical lines make them up: a quoted field may span lines,
// and such a record moves or goes as one unit, its lines joined with CR LF (so that writing it
// as a row gives its lines back, each followed by CR LF).
TableRecords PhysicalRecords(const RewriteSource& source) {
  return TableRecords(*source.found, source.format, "\r\n");
}

// A kept record's start in the text and its place among the kept records.
struct PlaceAt {
  uint64_t start;
  size_t place;
};

// Orders the entries by start (the starts are distinct): a radix sort, sixteen bits a pass over
// as many bits as the largest start has, in time linear in the entries.
void SortByStart(LargeVector<PlaceAt>* entries) {
  constexpr unsigned kBits = 16;
  uint64_t largest = 0;
  for (const PlaceAt& e : *entries) largest = std::max(largest, e.start);
  LargeVector<PlaceAt> other(entries->size());
  std::vector<size_t> counts(size_t{1} << kBits);
  for (unsigned shift = 0; shift < 64 && (largest >> shift) != 0; shift += kBits) {
    std::fill(counts.begin(), counts.end(), 0);
    for (const PlaceAt& e : *entries) ++counts[(e.start >> shift) & 0xFFFF];
    size_t total = 0;
    for (size_t& c : counts) total += std::exchange(c, total);
    for (const PlaceAt& e : *entries) other[counts[(e.start >> shift) & 0xFFFF]++] = e;
    entries->swap(other);
  }
}

// Room reserved for the records of a table this long: more than most tables have (untouched
// room costs no memory), so that noting them rarely has to move what was noted.
size_t LikelyRecords(const RewriteSource& source) {
  return static_cast<size_t>(source.probe.text_length / 64) + 1024;
}

// Room for the distinct keys of a table this long: a quarter of the records it likely holds, up
// to a million keys (16 MiB of key table slots). Most of the rebuilding as the keys come in is
// spared, and a large table with few distinct keys does not pay for room it never fills.
size_t KeysLikely(const RewriteSource& source) {
  return std::min<size_t>(LikelyRecords(source) / 4, size_t{1} << 20);
}

// Reads every record's key and notes where the record stands. The first record's key is not
// read when `skip_first` (a header row).
template <typename OnKey>
void ReadKeys(const RewriteSource& source, long long column, bool skip_first, RecordGather* gather,
              ProgressMeter* progress, const OnKey& on_key) {
  TableRecords records = PhysicalRecords(source);
  FieldDialect dialect = source.format.Dialect();
  dialect.nul_free = source.probe.complete;  // a whole first pass found none
  gather->Reserve(LikelyRecords(source));
  std::string scratch;
  std::string_view record;
  for (bool first = true; records.Next(&record); first = false) {
    RefuseNul(source, records, record);
    gather->Add(records.RecordStart(), record.size());
    progress->Advance(record.size() + 2);
    if (first && skip_first) continue;
    on_key(FieldAt(record, column, dialect, &scratch));
  }
  gather->SetTextLength(records.TextLength());
}

// Records read ahead a few dozen at a time, each with its key and the key's hash, so that the
// key table's places for all of them are asked for before the first one is looked up: the
// lookups then wait for memory together instead of one after the other. Each record is copied
// in whole where it may be written (`whole_records`); otherwise only its key is.
class KeyedBatch {
 public:
  KeyedBatch(long long column, const FieldDialect& dialect, bool whole_records)
      : column_(column), dialect_(dialect), whole_records_(whole_records), scratch_(kRecords) {}
  bool Full() const { return items_.size() >= kRecords; }
  size_t Size() const { return items_.size(); }
  /// Copies the record (or its key) in; `start` is where it stands in the text.
  void Add(std::string_view record, uint64_t start) {
    if (whole_records_) {
      items_.push_back(Item{bytes_.size(), record.size(), start, {}, 0, record.size()});
      bytes_.append(record);
    } else {
      const std::string_view key = FieldAt(record, column_, dialect_, &scratch_[0]);
      items_.push_back(Item{bytes_.size(), key.size(), start, {}, 0, record.size()});
      bytes_.append(key);
    }
  }
  /// Reads every record's key and asks for its place in `table`.
  void ReadKeys(const KeyTable& table) {
    for (size_t k = 0; k < items_.size(); ++k) {
      Item& item = items_[k];
      item.key = whole_records_ ? FieldAt(Bytes(k), column_, dialect_, &scratch_[k]) : Bytes(k);
      item.hash = KeyTable::Hash(item.key);
      table.Prefetch(item.hash);
    }
  }
  /// The record (copied whole only).
  std::string_view Record(size_t k) const { return Bytes(k); }
  /// The record's length.
  size_t Length(size_t k) const { return items_[k].length; }
  uint64_t Start(size_t k) const { return items_[k].start; }
  std::string_view Key(size_t k) const { return items_[k].key; }
  uint64_t Hash(size_t k) const { return items_[k].hash; }
  void Clear() {
    bytes_.clear();
    items_.clear();
  }

 private:
  static constexpr size_t kRecords = 32;
  struct Item {
    size_t offset;  // of its bytes: the record's, or its key's
    size_t size;
    uint64_t start;
    std::string_view key;
    uint64_t hash;
    size_t length;  // of the record, where only its key is copied
  };
  std::string_view Bytes(size_t k) const {
    return std::string_view(bytes_.data() + items_[k].offset, items_[k].size);
  }
  long long column_;
  FieldDialect dialect_;
  bool whole_records_;
  std::string bytes_;
  std::vector<Item> items_;
  std::vector<std::string> scratch_;
};

}  // namespace

void RunSort(const RunSettings& s, TStringListCSVEX* table) {
  PrintLine("Sorted: " + s.TablePath);
  ProgressMeter progress("reading the table", 0);
  // A header row (named by "-ncfl"/"-ncfld0") stays on top, out of the sort.
  const bool keep_header = s.NamesFromFirstLine;
  if (IsStandardStream(s.TablePath)) {
    LoadForRewrite(s, table);
    progress.Phase("sorting");
    table->SortByColumn(s.KeyColumn, keep_header);  // a negative column fails here
    progress.Phase("writing the table");
    table->SaveToStreamEX(WriteData);
    return;
  }
  const RewriteSource source = OpenForRewrite(s, table);
  // A table without lines has nothing to rewrite, and its file stays exactly as it is.
  if (!source.probe.has_lines) return;
  RecordGather gather;
  LargeVector<size_t> order;
  {
    RecordKeySorter sorter(table->MatchCase);
    sorter.Reserve(LikelyRecords(source));
    progress.Count("reading the keys", source.probe.text_length);
    ReadKeys(source, s.KeyColumn, keep_header, &gather, &progress,
             [&sorter](std::string_view key) { sorter.Add(key); });
    progress.Phase("sorting");
    order = sorter.Order();
  }
  if (keep_header) {
    for (size_t& record : order) ++record;
    order.insert(order.begin(), 0);
  }
  table->SortedByColumn = true;
  progress.Phase("writing the table");
  TableFileWriter writer(*table, s.TablePath);
  gather.Write(
      *source.found, order, gather.SortBuffer(),
      [&writer](std::string_view row) { writer.WriteRow(row); }, true);
  writer.Commit();
}

void RunDedupe(const RunSettings& s, TStringListCSVEX* table) {
  PrintLine("Dublicated delete: " + s.TablePath);
  ProgressMeter progress("reading the table", 0);
  // A header row (named by "-ncfl"/"-ncfld0") is always kept, and its key is no key: a data
  // row may repeat it.
  const bool keep_header = s.NamesFromFirstLine;
  if (IsStandardStream(s.TablePath)) {
    LoadForRewrite(s, table);
    progress.Phase("removing duplicates");
    table->RemoveDuplicates(s.KeyColumn, s.KeepLast, keep_header);  // likewise
    progress.Phase("writing the table");
    table->SaveToStreamEX(WriteData);
    return;
  }
  const RewriteSource source = OpenForRewrite(s, table);
  if (!source.probe.has_lines) return;
  progress.Count("removing duplicates", source.probe.text_length);
  // Keys are equal when their bytes are: "01" and "1" are different keys, and a later record
  // only ever replaces the kept record of its own key.
  KeyTable seen;
  seen.Reserve(KeysLikely(source));
  if (!s.KeepLast) {
    // The first record of each key is the one kept, so records go out as they are read.
    TableRecords records = PhysicalRecords(source);
    records.DropBehind();  // read once, and replaced
    FieldDialect dialect = source.format.Dialect();
    dialect.nul_free = source.probe.complete;  // a whole first pass found none
    TableFileWriter writer(*table, s.TablePath);
    KeyedBatch batch(s.KeyColumn, dialect, true);
    auto write_new = [&] {
      batch.ReadKeys(seen);
      for (size_t k = 0; k < batch.Size(); ++k) {
        if (seen.Insert(batch.Key(k), batch.Hash(k), 0) == nullptr) writer.WriteRow(batch.Record(k));
      }
      batch.Clear();
    };
    std::string_view record;
    for (bool first = true; records.Next(&record); first = false) {
      RefuseNul(source, records, record);
      progress.Advance(record.size() + 2);
      if (first && keep_header) {
        writer.WriteRow(record);
        continue;
      }
      batch.Add(record, 0);
      if (batch.Full()) write_new();
    }
    write_new();
    writer.Commit();
    return;
  }
  // Each key keeps the place of its first record and the content of its last: a first pass
  // finds them, a second copies the records to their places. Only the kept records' places in
  // the text are held, so memory grows with the distinct keys, not with the table.
  struct Kept {
    uint64_t start;
    uint64_t end;  // where the record's text ends: the next record's start
    uint64_t length;
  };
  LargeVector<Kept> kept;               // by place
  kept.reserve(KeysLikely(source));     // as the key table: it grows past that when it must
  size_t open_place = kept.max_size();  // the place whose record's end is the next start
  {
    TableRecords records = PhysicalRecords(source);
    KeyedBatch batch(s.KeyColumn, source.format.Dialect(), false);
    auto keep = [&](uint64_t start, uint64_t length, const std::string_view* key, uint64_t hash) {
      if (open_place < kept.size()) kept[open_place].end = start;
      const Kept entry{start, start, length};
      size_t* place = key != nullptr ? seen.Insert(*key, hash, kept.size()) : nullptr;
      if (place != nullptr) {
        kept[*place] = entry;
        open_place = *place;
      } else {
        open_place = kept.size();
        kept.push_back(entry);
      }
    };
    auto keep_batch = [&] {
      batch.ReadKeys(seen);
      for (size_t k = 0; k < batch.Size(); ++k) {
        const std::string_view key = batch.Key(k);
        keep(batch.Start(k), batch.Length(k), &key, batch.Hash(k));
      }
      batch.Clear();
    };
    std::string_view record;
    for (bool first = true; records.Next(&record); first = false) {
      RefuseNul(source, records, record);
      progress.Advance(record.size() + 2);
      if (first && keep_header) {  // kept whatever its key: it has none
        keep(records.RecordStart(), record.size(), nullptr, 0);
        continue;
      }
      batch.Add(record, records.RecordStart());
      if (batch.Full()) keep_batch();
    }
    keep_batch();
    if (open_place < kept.size()) kept[open_place].end = records.TextLength();
  }
  seen = KeyTable();
  // The kept records in the order they stand in the text, and the order of their places.
  LargeVector<PlaceAt> by_start(kept.size());
  for (size_t p = 0; p < kept.size(); ++p) by_start[p] = PlaceAt{kept[p].start, p};
  SortByStart(&by_start);
  RecordGather gather;
  gather.Reserve(kept.size());
  LargeVector<size_t> order(kept.size());
  for (size_t i = 0; i < by_start.size(); ++i) {
    const Kept& k = kept[by_start[i].place];
    gather.AddRange(k.start, k.end, k.length);
    order[by_start[i].place] = i;
  }
  kept = LargeVector<Kept>();
  by_start = LargeVector<PlaceAt>();
  progress.Phase("writing the table");
  TableFileWriter writer(*table, s.TablePath);
  gather.Write(
      *source.found, order, kDedupeGatherBuffer,
      [&writer](std::string_view row) { writer.WriteRow(row); }, true);
  writer.Commit();
}
