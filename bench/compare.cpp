// Times pdfrepair_check and pdfrepair_fix beside qpdf and mutool on large generated PDFs, and
// checks that the library's time on each adversarial input grows linearly (n against 2n).
//
//   pdfrepair_compare --dir DIR [--pages N] [--image-height H] [--runs R] [--scale F]
//                     [--timeout S] [--skip-large] [--skip-adversarial]
//
// Every measurement runs in its own child process: wall time from fork to exit, peak memory
// from the child's own resource usage (wait4, so one child's peak never leaks into the next
// figure). Time is the median of R runs (fewer when a run takes over 30 s; more, up to 25,
// while the runs add up to less than a second, so that a call of a few milliseconds is not
// judged by a few samples of a shared machine's noise), memory the largest peak of them. On
// the large files the five calls run in turn, one run of each per round, so that a slow spell
// of the machine falls on all of them alike; each input is synced to disk before its first
// round, so that no writeback of it runs beside the first calls. A forked child inherits the
// driver's resident pages, so the driver keeps itself small and reports the peak of a child
// that does nothing. MB are 10^6 bytes.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "pdfgen.h"
#include "pdfrepair.h"

namespace {

struct options {
  std::string dir;
  pdfgen::large_options large;
  int runs = 5;
  double scale = 1.0;  // multiplies each adversarial input's default n
  int timeout = 300;   // seconds per call
  bool skip_large = false;
  bool skip_adversarial = false;
};

// Median time and largest peak of a series of runs. exit_code is the last run's; timed_out
// is set when any run hit the timeout.
struct figure {
  double seconds = 0;
  double peak_mb = 0;
  int exit_code = 0;
  bool timed_out = false;
};

constexpr double target_growth = 2.2;
constexpr double slow_call = 30;   // seconds
constexpr double quick_total = 1;  // seconds: quick calls run until their runs add up to this
constexpr int max_quick_runs = 25;

double mb(double bytes) { return bytes / 1e6; }

double file_mb(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 ? mb(static_cast<double>(st.st_size)) : 0;
}

// One run of body in a child that the alarm ends after timeout seconds (an alarm survives
// exec, so it bounds the peers too).
figure run_once(const std::function<int()>& body, int timeout) {
  std::fflush(nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    alarm(static_cast<unsigned>(timeout));
    _exit(body());
  }
  figure f;
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) {
    f.exit_code = -1;
    return f;
  }
  f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.peak_mb = mb(usage.ru_maxrss * 1024.0);
  f.timed_out = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
  f.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return f;
}

figure measure(const std::function<int()>& body, const options& o) {
  std::vector<double> times;
  figure result;
  double total = 0;
  for (int i = 0; i < o.runs || (total < quick_total && i < max_quick_runs); ++i) {
    figure f = run_once(body, o.timeout);
    times.push_back(f.seconds);
    total += f.seconds;
    result.peak_mb = std::max(result.peak_mb, f.peak_mb);
    result.exit_code = f.exit_code;
    result.timed_out = result.timed_out || f.timed_out;
    // A timeout would only repeat itself, and a slow call (the quadratic cases before they
    // are fixed) is steady enough for fewer runs.
    if (f.timed_out || f.seconds > slow_call) break;
  }
  std::sort(times.begin(), times.end());
  result.seconds = times[times.size() / 2];
  return result;
}

// measure for several bodies, run in turn: round after round, one run of each.
std::vector<figure> measure_in_turn(const std::vector<std::function<int()>>& bodies, const options& o) {
  std::vector<std::vector<double>> times(bodies.size());
  std::vector<figure> results(bodies.size());
  for (int round = 0; round < o.runs; ++round) {
    for (std::size_t b = 0; b < bodies.size(); ++b) {
      if (results[b].timed_out) continue;
      const figure f = run_once(bodies[b], o.timeout);
      times[b].push_back(f.seconds);
      results[b].peak_mb = std::max(results[b].peak_mb, f.peak_mb);
      results[b].exit_code = f.exit_code;
      results[b].timed_out = f.timed_out;
    }
  }
  for (std::size_t b = 0; b < bodies.size(); ++b) {
    std::sort(times[b].begin(), times[b].end());
    results[b].seconds = times[b][times[b].size() / 2];
  }
  return results;
}

// Child bodies. The check's exit code tells the verdict: 0 valid, 1 not valid, 2 no report.
int our_check(const std::string& in) {
  const char* report = pdfrepair_check(in.c_str());
  if (!*report) return 2;
  return std::strstr(report, "\"valid\":true") ? 0 : 1;
}

int our_fix(const std::string& in, const std::string& out) {
  pdfrepair_init();
  return pdfrepair_fix(in.c_str(), out.c_str()) ? 0 : 1;
}

int peer(std::vector<std::string> args) {
  int null = open("/dev/null", O_WRONLY);
  dup2(null, STDOUT_FILENO);
  dup2(null, STDERR_FILENO);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  return 127;
}

// The first line a command prints, for the versions in the heading.
std::string first_line(const char* command) {
  std::string line;
  if (std::FILE* p = popen(command, "r")) {
    char buf[256];
    if (std::fgets(buf, sizeof buf, p)) line = buf;
    pclose(p);
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line.empty() ? "not found" : line;
}

std::string time_text(const figure& f) {
  char s[32];
  if (f.timed_out)
    std::snprintf(s, sizeof s, "timeout");
  else
    std::snprintf(s, sizeof s, "%.3f", f.seconds);
  return s;
}

std::string ratio_text(double ours, double theirs) {
  char s[32];
  std::snprintf(s, sizeof s, "%.2f", theirs > 0 ? ours / theirs : 0.0);
  return s;
}

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

// ---- Large files -------------------------------------------------------------------------

struct row {
  const char* name;
  figure f;
  std::string result;
};

void print_rows(const std::vector<row>& rows) {
  std::printf("  %-22s %10s %10s  %s\n", "", "median s", "peak MB", "result");
  for (const row& r : rows)
    std::printf("  %-22s %10s %10.1f  %s\n", r.name, time_text(r.f).c_str(), r.f.peak_mb,
                r.result.c_str());
}

// Our time and memory as a share of each peer's.
void print_ratios(const std::vector<row>& rows) {
  std::printf("  %-22s %14s %14s %14s\n", "ours / peer", rows[2].name, rows[3].name,
              rows[4].name);
  for (int ours = 0; ours < 2; ++ours) {
    std::printf("  %-22s", (std::string(rows[ours].name) + " time").c_str());
    for (int p = 2; p < 5; ++p)
      std::printf(" %14s", ratio_text(rows[ours].f.seconds, rows[p].f.seconds).c_str());
    std::printf("\n  %-22s", (std::string(rows[ours].name) + " peak").c_str());
    for (int p = 2; p < 5; ++p)
      std::printf(" %14s", ratio_text(rows[ours].f.peak_mb, rows[p].f.peak_mb).c_str());
    std::printf("\n");
  }
}

void print_targets(const std::vector<row>& rows, double size_mb) {
  const figure &check = rows[0].f, &fix = rows[1].f, &mutool = rows[4].f;
  double check_limit = 1.2 * size_mb + 32, fix_limit = 1.5 * size_mb + 32;
  std::printf("  target check time <= mutool clean: %s (%s)\n",
              ratio_text(check.seconds, mutool.seconds).c_str(),
              verdict(!check.timed_out && check.seconds <= mutool.seconds));
  std::printf("  target fix time <= 2 x mutool clean: %s (%s)\n",
              ratio_text(fix.seconds, mutool.seconds).c_str(),
              verdict(!fix.timed_out && fix.seconds <= 2 * mutool.seconds));
  std::printf("  target check peak <= 1.2 x input + 32 MB = %.1f MB: %.1f MB (%s)\n", check_limit,
              check.peak_mb, verdict(check.peak_mb <= check_limit));
  std::printf("  target fix peak <= 1.5 x input + 32 MB = %.1f MB: %.1f MB (%s)\n", fix_limit,
              fix.peak_mb, verdict(fix.peak_mb <= fix_limit));
}

std::string check_result(const figure& f) {
  static const char* const names[] = {"valid", "not valid", "no report"};
  if (f.exit_code >= 0 && f.exit_code < 3) return names[f.exit_code];
  return "exit " + std::to_string(f.exit_code);
}

std::string exit_result(const figure& f) { return "exit " + std::to_string(f.exit_code); }

bool compare_large(pdfgen::layout kind, const options& o) {
  std::string in = o.dir + "/" + pdfgen::layout_name(kind) + ".pdf", out = o.dir + "/out.pdf";
  if (!pdfgen::write_large(kind, o.large, in)) {
    std::fprintf(stderr, "pdfrepair_compare: could not write %s\n", in.c_str());
    return false;
  }
  double size = file_mb(in);
  std::printf("\n%s: %d pages, %.1f MB\n", pdfgen::layout_name(kind), o.large.pages, size);
  // Each writer starts without an output file, as a first save would.
  auto writing = [&](std::function<int()> body) {
    return [body, out] {
      unlink(out.c_str());
      return body();
    };
  };
  sync();
  const std::vector<figure> f = measure_in_turn(
      {[&] { return our_check(in); }, writing([&] { return our_fix(in, out); }),
       [&] { return peer({"qpdf", "--check", in}); }, writing([&] { return peer({"qpdf", in, out}); }),
       writing([&] { return peer({"mutool", "clean", in, out}); })},
      o);
  const std::vector<row> rows = {{"pdfrepair_check", f[0], check_result(f[0])},
                                 {"pdfrepair_fix", f[1], f[1].exit_code == 0 ? "written" : "failed"},
                                 {"qpdf --check", f[2], exit_result(f[2])},
                                 {"qpdf in out", f[3], exit_result(f[3])},
                                 {"mutool clean", f[4], exit_result(f[4])}};
  unlink(out.c_str());
  unlink(in.c_str());
  print_rows(rows);
  print_ratios(rows);
  print_targets(rows, size);
  return true;
}

// ---- Adversarial inputs ------------------------------------------------------------------

struct growth {
  figure at_n, at_2n;
  bool met() const {
    if (at_n.timed_out || at_2n.timed_out) return false;
    return at_2n.seconds <= target_growth * at_n.seconds;
  }
};

growth grow(const pdfgen::adversary& a, int n, const std::function<int(const std::string&)>& call,
            const options& o) {
  growth g;
  for (int k = 1; k <= 2; ++k) {
    std::string in = o.dir + "/" + a.name + "-" + std::to_string(k * n) + ".pdf";
    (k == 1 ? g.at_n : g.at_2n) = measure([&] { return call(in); }, o);
  }
  return g;
}

std::string growth_text(const growth& g) {
  char s[64];
  std::snprintf(s, sizeof s, "%8s %8s %6s %s", time_text(g.at_n).c_str(),
                time_text(g.at_2n).c_str(),
                ratio_text(g.at_2n.seconds, g.at_n.seconds).c_str(), g.met() ? "  " : "!!");
  return s;
}

// Returns the number of growth ratios above the target, or -1 when an input was not written.
int compare_adversarial(const options& o) {
  std::printf("\nAdversarial inputs: time at n and 2n, median of %d runs (up to %d while they "
              "add up to less than %.0f s); target ratio <= %.1f (!! marks a miss)\n",
              o.runs, max_quick_runs, quick_total, target_growth);
  std::printf("%-20s %9s %8s  %8s %8s %6s    %8s %8s %6s\n", "input", "n", "MB at n",
              "check n", "2n", "ratio", "fix n", "2n", "ratio");
  int missed = 0;
  std::string out = o.dir + "/out.pdf";
  for (const pdfgen::adversary& a : pdfgen::adversaries()) {
    int n = std::max(1, static_cast<int>(a.default_n * o.scale));
    for (int k = 1; k <= 2; ++k) {
      std::string in = o.dir + "/" + a.name + "-" + std::to_string(k * n) + ".pdf";
      if (!a.write(k * n, in)) return -1;
    }
    double size = file_mb(o.dir + "/" + a.name + "-" + std::to_string(n) + ".pdf");
    growth check = grow(a, n, our_check, o);
    growth fix = grow(a, n, [&](const std::string& in) {
      unlink(out.c_str());
      return our_fix(in, out);
    }, o);
    missed += !check.met() + !fix.met();
    std::printf("%-20s %9d %8.3f  %s  %s\n", a.name, n, size, growth_text(check).c_str(),
                growth_text(fix).c_str());
    for (int k = 1; k <= 2; ++k)
      unlink((o.dir + "/" + a.name + "-" + std::to_string(k * n) + ".pdf").c_str());
  }
  unlink(out.c_str());
  return missed;
}

// ---- Arguments ---------------------------------------------------------------------------

int usage() {
  std::fprintf(stderr,
               "usage: pdfrepair_compare --dir DIR [--pages N] [--image-height H] [--runs R]\n"
               "                         [--scale F] [--timeout S] [--skip-large] "
               "[--skip-adversarial]\n");
  return 2;
}

bool parse(int argc, char** argv, options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool has_value = i + 1 < argc;
    if (arg == "--skip-large") o.skip_large = true;
    else if (arg == "--skip-adversarial") o.skip_adversarial = true;
    else if (!has_value) return false;
    else if (arg == "--dir") o.dir = argv[++i];
    else if (arg == "--pages") o.large.pages = std::atoi(argv[++i]);
    else if (arg == "--image-height") o.large.image_height = std::atoi(argv[++i]);
    else if (arg == "--runs") o.runs = std::atoi(argv[++i]);
    else if (arg == "--scale") o.scale = std::atof(argv[++i]);
    else if (arg == "--timeout") o.timeout = std::atoi(argv[++i]);
    else return false;
  }
  return !o.dir.empty() && o.large.pages > 0 && o.large.image_height > 0 && o.runs > 0 &&
         o.scale > 0 && o.timeout > 0;
}

void print_heading(const options& o) {
  figure idle = run_once([] { return 0; }, o.timeout);
  std::printf("pdfrepair_compare: %ld cores online, %d runs each, timeout %d s\n",
              sysconf(_SC_NPROCESSORS_ONLN), o.runs, o.timeout);
  std::printf("peers: %s; %s\n", first_line("qpdf --version 2>&1").c_str(),
              first_line("mutool -v 2>&1").c_str());
  std::printf("a forked child that does nothing peaks at %.1f MB (included in every figure)\n",
              idle.peak_mb);
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse(argc, argv, o)) return usage();
  print_heading(o);
  if (!o.skip_large)
    for (pdfgen::layout kind : pdfgen::layouts())
      if (!compare_large(kind, o)) return 1;
  int missed = 0;
  if (!o.skip_adversarial && (missed = compare_adversarial(o)) < 0) {
    std::fprintf(stderr, "pdfrepair_compare: could not write an adversarial input\n");
    return 1;
  }
  std::printf("\nInflate decoder against zlib: bench/inflate_bench in the build directory "
              "(its last line gives the throughput ratio; target >= 0.5).\n");
  return missed ? 3 : 0;
}
