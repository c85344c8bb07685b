// The command line, run in-process on a small folder of files made from the input: any
// arguments end with exit code 0, 1 or 2, never a crash or an escaping exception, and a run
// that fails leaves the table file as it was. Arguments are options, numbers and names from
// a vocabulary, or free text without "/", so every path stays inside the scratch folder.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Driver.h"
#include "FuzzCheck.h"

namespace fs = std::filesystem;

namespace {

const char* const kWords[] = {
    "-u",     "-p",     "-s",        "-nd",    "-ndl",   "-uc",    "-pc",     "-ucn",
    "-pcn",   "-ce",    "-namefiles", "-d",    "-q",     "-qopt",  "-c",      "-fenone",
    "-feda",  "-fern",  "-fehex",    "-fehlm", "-ncfl",  "-ncfld0", "-h",     "--version",
    "-U",     "-NCFL",  "t.csv",     "T.CSV",  "t",      "t_0.txt", "new.csv", "out",
    "t.txt",  "0",      "1",         "2",      "-1",     "3",      "$1",      "0x2",
    "q",      "n",      ";",         ",",      "|",      "\t",     "a",       "",
};

fs::path g_base;  // removed when the process ends
fs::path g_work;  // the current directory of every run, a few levels below g_base

void RemoveBase() {
  std::error_code ignored;
  fs::remove_all(g_base, ignored);
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Argument(FuzzedDataProvider* input) {
  const uint8_t pick = input->ConsumeIntegral<uint8_t>();
  if (pick < 200) return kWords[pick % std::size(kWords)];
  std::string text = input->ConsumeRandomLengthString(24);
  std::string arg;
  for (char c : text) {
    if (c != '/' && c != '\0') arg += c;
  }
  // "." and ".." name folders above the files; as table or folder they would leave the folder.
  return arg == "." || arg == ".." ? "x" : arg;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // In memory where possible: every save that replaces a file is flushed to the disk.
  char in_memory[] = "/dev/shm/tessarin_cli_fuzz_XXXXXX";
  char on_disk[] = "/tmp/tessarin_cli_fuzz_XXXXXX";
  const char* name = mkdtemp(in_memory);
  if (name == nullptr) name = mkdtemp(on_disk);
  if (name == nullptr) std::abort();
  g_base = name;
  g_work = g_base / "a" / "b" / "work";
  fs::create_directories(g_work);
  fs::current_path(g_work);
  std::atexit(RemoveBase);
  // The usage text waits for Enter: standard input is empty. Progress lines are not wanted.
  if (std::freopen("/dev/null", "r", stdin) == nullptr) std::abort();
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string table = input.ConsumeRandomLengthString(512);
  const std::string column = input.ConsumeRandomLengthString(256);
  std::vector<std::string> args{"tessarin"};
  const size_t count = input.ConsumeIntegralInRange<size_t>(0, 8);
  while (args.size() <= count && input.remaining_bytes() > 0) args.push_back(Argument(&input));

  for (const fs::directory_entry& entry : fs::directory_iterator(g_work)) {
    fs::remove_all(entry.path());
  }
  fs::create_directory(g_work / "t");
  WriteFile(g_work / "t.csv", table);
  WriteFile(g_work / "t" / "t_0.txt", column);
  WriteFile(g_work / "t" / "t_1.txt", "x\r\ny\r\n");
  WriteFile(g_work / "t_0.txt", column);

  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int code = RunTessarin(static_cast<int>(args.size()), argv.data());

  std::string details = "arguments:";
  for (size_t i = 1; i < args.size(); ++i) details += " " + fuzz::Shown(args[i]);
  details += "\ntable " + fuzz::Shown(table) + "\ncolumn file " + fuzz::Shown(column) +
             "\nexit code " + std::to_string(code);
  fuzz::Check(code == 0 || code == 1 || code == 2, "the exit code is 0, 1 or 2", details);
  fuzz::Check(fs::current_path() == g_work, "a run leaves the current folder as it was", details);
  if (code != 0) {
    fuzz::Check(ReadFile(g_work / "t.csv") == table, "a failed run leaves the table as it was",
                details + "\ntable now " + fuzz::Shown(ReadFile(g_work / "t.csv")));
  }
  return 0;
}
