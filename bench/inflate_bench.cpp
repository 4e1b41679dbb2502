// Decode throughput of inflate_decompress on a few MB of zlib-compressed PDF-like text, with
// zlib's own inflate decoding the same stream in the same run. Throughput counts decoded
// bytes; the last line gives the ratio of the two.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "inflate/inflate.h"

namespace {

using bytes = std::vector<unsigned char>;

// Page content streams and object dictionaries with numbers, names and words from a seeded
// generator: it compresses about as well as the object streams of real files.
std::string pdf_like_text(std::size_t size) {
  static const char* const words[] = {"the",    "repair", "of",   "damaged", "files", "page",
                                      "stream", "object", "font", "table",   "and",   "with"};
  std::mt19937 rng(42);
  auto num = [&](int range) { return std::to_string(static_cast<int>(rng() % range)); };
  std::string s;
  while (s.size() < size) {
    switch (rng() % 4) {
      case 0:
        s += num(300) + " 0 obj\n<< /Type /Page /Parent " + num(20) + " 0 R /MediaBox [0 0 612 792]"
             " /Contents " + num(300) + " 0 R /Resources << /Font << /F1 " + num(40) +
             " 0 R >> >> >>\nendobj\n";
        break;
      case 1:
        s += "q " + num(2) + " 0 0 " + num(2) + " " + num(600) + " " + num(800) + " cm /Im" +
             num(9) + " Do Q\n" + num(600) + "." + num(100) + " " + num(800) + " m " + num(600) +
             " " + num(800) + " l S\n";
        break;
      default:
        s += "BT /F" + num(4) + " " + num(24) + " Tf " + num(600) + " " + num(800) + "." +
             num(10) + " Td (";
        for (int i = 0, n = 3 + static_cast<int>(rng() % 8); i < n; ++i)
          s += std::string(words[rng() % 12]) + (i + 1 < n ? " " : "");
        s += ") Tj ET\n";
    }
  }
  s.resize(size);
  return s;
}

struct corpus {
  std::string text;
  bytes stream;
};

const corpus& the_corpus() {
  static const corpus c = [] {
    corpus k;
    k.text = pdf_like_text(4 << 20);
    uLongf len = compressBound(static_cast<uLong>(k.text.size()));
    k.stream.resize(len);
    compress2(k.stream.data(), &len, reinterpret_cast<const Bytef*>(k.text.data()),
              static_cast<uLong>(k.text.size()), Z_DEFAULT_COMPRESSION);
    k.stream.resize(len);
    return k;
  }();
  return c;
}

// Throughput in decoded bytes, once the last decode is known to have produced the text.
void report(benchmark::State& state, const corpus& c, const bytes& out, std::uint64_t len) {
  if (len != c.text.size() || !std::equal(out.begin(), out.end(), c.text.begin()))
    state.SkipWithError("decoded text differs");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.text.size()));
  state.counters["compression"] = static_cast<double>(c.text.size()) / c.stream.size();
}

void inflate_decompress(benchmark::State& state) {
  const corpus& c = the_corpus();
  bytes out(c.text.size());
  std::uint64_t len = 0;
  for (auto _ : state) {
    int rc = pdfrepair::inflate_decompress(c.stream.data(), c.stream.size(), out.data(),
                                           out.size(), &len);
    benchmark::DoNotOptimize(rc);
    benchmark::ClobberMemory();
  }
  report(state, c, out, len);
}

void zlib_uncompress(benchmark::State& state) {
  const corpus& c = the_corpus();
  bytes out(c.text.size());
  uLongf len = 0;
  for (auto _ : state) {
    len = static_cast<uLongf>(out.size());
    int rc = uncompress(out.data(), &len, c.stream.data(), static_cast<uLong>(c.stream.size()));
    benchmark::DoNotOptimize(rc);
    benchmark::ClobberMemory();
  }
  report(state, c, out, len);
}

BENCHMARK(inflate_decompress)->Unit(benchmark::kMillisecond);
BENCHMARK(zlib_uncompress)->Unit(benchmark::kMillisecond);

// The console report, followed by each decoder's mean throughput and ours as a share of
// zlib's.
class ratio_reporter : public benchmark::ConsoleReporter {
 public:
  ratio_reporter() : ConsoleReporter(OO_Tabular) {}  // no colour codes in logs

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // Repetitions: each run and their mean all count, which leaves the mean unchanged and
      // also works when only the aggregates are reported.
      bool sample = run.run_type == Run::RT_Iteration || run.aggregate_name == "mean";
      auto rate = run.counters.find("bytes_per_second");
      if (!sample || run.error_occurred || rate == run.counters.end()) continue;
      auto& [sum, n] = rates_[run.run_name.function_name];
      sum += rate->second;
      ++n;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    auto mean = [&](const char* name) {
      auto it = rates_.find(name);
      return it == rates_.end() ? 0.0 : it->second.first / it->second.second / 1e6;
    };
    double ours = mean("inflate_decompress"), zlib = mean("zlib_uncompress");
    if (ours <= 0 || zlib <= 0) return;
    char line[128];
    std::snprintf(line, sizeof line,
                  "inflate_decompress %.1f MB/s, zlib %.1f MB/s: %.3f of zlib's throughput\n",
                  ours, zlib, ours / zlib);
    GetOutputStream() << line;
  }

 private:
  std::map<std::string, std::pair<double, int>> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ratio_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
