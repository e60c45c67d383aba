// Listing parser throughput per server family, and the mask matcher over a large directory.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "listing/ListingParser.h"

namespace tarsil {
namespace {

std::vector<std::string> Lines(const std::string& pattern, int count) {
  std::vector<std::string> lines;
  lines.reserve(count);
  for (int i = 0; i < count; ++i) lines.push_back(pattern + std::to_string(i) + ".dat");
  return lines;
}

void Parse(benchmark::State& state, FtpServerType type, const std::string& pattern) {
  const std::vector<std::string> lines = Lines(pattern, 10000);
  ListingParser parser("26");
  for (auto _ : state) {
    for (const std::string& line : lines) {
      benchmark::DoNotOptimize(parser.ParseListingLine(type, line));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(lines.size()));
}

void BM_UnixLines(benchmark::State& state) {
  Parse(state, ftpstUNIX, "-rw-r--r--   1 ftp      ftp        123456 Jan 02 03:04 file");
}
void BM_DosLines(benchmark::State& state) {
  Parse(state, ftpstDefault, "01-02-20  03:04AM               123456 file");
}
void BM_EplfLines(benchmark::State& state) {
  Parse(state, ftpstDefault, "+i8388621.48594,m825718503,r,s280,\tfile");
}

BENCHMARK(BM_UnixLines);
BENCHMARK(BM_DosLines);
BENCHMARK(BM_EplfLines);

}  // namespace
}  // namespace tarsil

BENCHMARK_MAIN();
