// Reading the key column of every record of a table once, for the sort and the duplicate
// removal of the table list. Keys are views wherever possible, so a large table costs one
// view per record rather than one string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "LargeVector.h"
#include "StringListEX.h"

/// Reads keys: GetField of one column of a record made of one or more lines of a table.
class RecordKeyReader {
 public:
  /// Throws the index error for a negative column. The table must outlive the reader.
  RecordKeyReader(const TStringListCSVEX& table, long long column);

  /// The key of the record made of lines [first, end), joined with CR LF. Returns true when
  /// `key` views the table's line (valid until the table changes), false when it views
  /// `scratch` (the value had to be rebuilt: quote marks undoubled, escape tokens decoded, or
  /// the lines of a multi-line record joined).
  bool Read(size_t first, size_t end, std::string_view* key, std::string* scratch) const;

 private:
  const TStringListCSVEX& table_;
  FieldDialect dialect_;
  long long column_;
};

/// Storage for keys that do not live in the table's lines.
using KeyArena = ByteArena;

/// The distinct keys met so far, each with a number, held compactly: a key's bytes once and a
/// few words for it (an open-addressing table of short hashes pointing into a list of keys).
class KeyTable {
 public:
  KeyTable();
  /// The number of the key when it is in the table; otherwise adds the key (a copy of it) with
  /// `number` and returns nullptr. The pointer is valid until the next Insert().
  size_t* Insert(std::string_view key, size_t number) { return Insert(key, Hash(key), number); }
  /// Insert() of a key whose Hash() is known.
  size_t* Insert(std::string_view key, uint64_t hash, size_t number);
  /// The hash Insert() files the key under.
  static uint64_t Hash(std::string_view key);
  /// Asks for the place of a key with this hash to be brought into the cache, so that looking
  /// up several keys in a row waits for memory once rather than once per key.
  void Prefetch(uint64_t hash) const;
  size_t Size() const { return keys_.size(); }
  /// Room for this many keys, so that adding them rebuilds nothing.
  void Reserve(size_t keys);

 private:
  struct Slot {
    uint32_t hash;   // the hash's high half, so most misses compare no bytes
    uint32_t entry;  // 0: free; else 1 + the key's index in keys_
  };
  struct Key {
    const char* data;
    size_t size;
    size_t number;
    uint64_t hash;  // kept, so growing the table reads no key bytes
  };
  void Grow();

  LargeVector<Slot> slots_;
  LargeVector<Key> keys_;
  KeyArena bytes_;
};

/// The order the table's sort gives records, from their keys alone: keys are added one record
/// at a time (copied where needed, so the records need not stay), then sorted once with the
/// same steps, and so the same order of equal keys, as TStringListCSVEX::SortByColumn.
class RecordKeySorter {
 public:
  explicit RecordKeySorter(bool match_case);
  ~RecordKeySorter();
  RecordKeySorter(const RecordKeySorter&) = delete;
  RecordKeySorter& operator=(const RecordKeySorter&) = delete;

  /// The key of the next record.
  void Add(std::string_view key);
  /// Room for this many keys, so that adding them moves nothing.
  void Reserve(size_t keys);
  /// The records' indices (in the order they were added) in sorted order. Releases the keys.
  LargeVector<size_t> Order();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
