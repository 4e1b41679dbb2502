// pdfrepair: the command-line face of the library. Checks files (one JSON line each) and
// repairs them, one file or a batch, optionally in worker processes.
#include <pdfrepair.h>

#include "batch.h"
#include "json_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace pdfrepair_cli {
namespace {

constexpr int status_usage = 2;
constexpr int max_jobs = 256;

// The library's fixed reply for a file it cannot open; the path is in the last-error text.
constexpr std::string_view unopenable_reply =
    R"({"valid":false,"issues":["cannot open file"],"objects":0,"pages":0,"header":""})";

constexpr const char* usage_text =
    "usage: pdfrepair check [-j N] FILE...\n"
    "       pdfrepair fix INPUT OUTPUT\n"
    "       pdfrepair fix [-j N] --output-dir DIR FILE...\n"
    "       pdfrepair --help | --version\n";

constexpr const char* help_text =
    "pdfrepair validates and repairs damaged PDF files.\n"
    "\n"
    "Commands:\n"
    "  check FILE...     Print one line of JSON per file: the library's health report with\n"
    "                    the file's path as its first member \"file\", or\n"
    "                    {\"file\":PATH,\"error\":REASON} when the file cannot be analysed.\n"
    "                    Exit status 0 when every file is valid, 1 when any is invalid,\n"
    "                    2 when any could not be analysed.\n"
    "  fix INPUT OUTPUT  Write a repaired PDF 1.4 copy of INPUT to OUTPUT.\n"
    "  fix --output-dir DIR FILE...\n"
    "                    Repair every FILE into DIR (created when missing), keeping its\n"
    "                    file name. Each failure is reported on standard error as\n"
    "                    \"FILE: REASON\"; a failed repair leaves its output untouched.\n"
    "                    Exit status 0 when every repair succeeded, 1 otherwise. On a\n"
    "                    terminal a batch shows its progress on standard error.\n"
    "\n"
    "Options:\n"
    "  -j N, --jobs N    Run a batch in N worker processes (1 to 256). Output, messages\n"
    "                    and exit status are those of a serial run, in argument order.\n"
    "                    On Windows batches always run serially.\n"
    "  -o DIR, --output-dir DIR\n"
    "                    The folder for the repaired files of a batch.\n"
    "  -h, --help        Show this help.\n"
    "  -V, --version     Show the version.\n"
    "  --                End of options: every later argument is a file.\n"
    "Usage errors exit with status 2.\n"
    "\n"
    "Examples:\n"
    "  pdfrepair check scan.pdf\n"
    "  pdfrepair fix scan.pdf scan-repaired.pdf\n"
    "  pdfrepair fix -j 4 --output-dir repaired incoming/*.pdf\n"
    "  pdfrepair check repaired/*.pdf\n";

struct Arguments {
  std::string command;
  int jobs = 1;
  std::optional<std::string> output_dir;
  std::vector<std::string> files;
};

int usage_error(const std::string& message) {
  std::fprintf(stderr, "pdfrepair: %s\n%s", message.c_str(), usage_text);
  return status_usage;
}

std::optional<int> parse_jobs(const std::string& text) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const int jobs = std::atoi(text.c_str());
  if (jobs < 1 || jobs > max_jobs) return std::nullopt;
  return jobs;
}

// Parses the arguments after the command; an error text when they make no sense.
std::optional<std::string> parse_options(int argc, char** argv, Arguments& args) {
  bool options_ended = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_ended || arg == "-" || arg[0] != '-') {
      args.files.push_back(arg);
      continue;
    }
    // The option's value: "-j4", "--jobs=4" or the next argument.
    const auto value = [&](std::string_view name) -> std::optional<std::string> {
      if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0)
        return arg.substr(name.size() + (arg[name.size()] == '=' ? 1 : 0));
      if (i + 1 < argc) return std::string(argv[++i]);
      return std::nullopt;
    };
    const auto is = [&](std::string_view short_name, std::string_view long_name) {
      return arg.rfind(short_name, 0) == 0 || arg == long_name ||
             arg.rfind(std::string(long_name) + "=", 0) == 0;
    };
    if (arg == "--") {
      options_ended = true;
    } else if (is("-j", "--jobs")) {
      const auto text = value(arg.rfind("--", 0) == 0 ? "--jobs" : "-j");
      if (!text) return "option " + arg + " needs a number";
      const auto jobs = parse_jobs(*text);
      if (!jobs) return "-j needs a number from 1 to 256, not '" + *text + "'";
      args.jobs = *jobs;
    } else if (args.command == "fix" && is("-o", "--output-dir")) {
      const auto dir = value(arg.rfind("--", 0) == 0 ? "--output-dir" : "-o");
      if (!dir || dir->empty()) return "option " + arg + " needs a folder";
      args.output_dir = *dir;
    } else {
      return "unknown option " + arg;
    }
  }
  if (args.files.empty()) return "no files given";
  if (args.command == "fix" && !args.output_dir && args.files.size() != 2)
    return "fix needs INPUT and OUTPUT, or --output-dir DIR";
  return std::nullopt;
}

Outcome check_one(const std::string& path) {
  const std::string report = pdfrepair_check(path.c_str());
  if (report.empty() || report == unopenable_reply)
    return {2, error_line(path, pdfrepair_last_error()) + "\n", ""};
  const bool valid = report.rfind("{\"valid\":true,", 0) == 0;
  return {valid ? 0 : 1, report_line(path, report) + "\n", ""};
}

Outcome fix_one(const std::string& input, const std::string& output) {
  if (pdfrepair_fix(input.c_str(), output.c_str())) return {0, "", ""};
  return {1, "", "pdfrepair: " + input + ": " + pdfrepair_last_error() + "\n"};
}

// The last component of path, its bytes as given: on Windows std::filesystem::path would
// recode them as UTF-8, while the library opens paths in the ANSI code page.
std::string file_name(const std::string& path) {
#ifdef _WIN32
  const std::size_t slash = path.find_last_of("/\\:");  // "C:name" is relative to drive C's folder
#else
  const std::size_t slash = path.rfind('/');
#endif
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The folder path as the file system reads it, the library's way: ANSI code page on Windows.
std::filesystem::path native_path(const std::string& path) {
#ifdef _WIN32
  std::wstring wide(path.size() + 1, L'\0');
  const int length = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                                         static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  return wide;
#else
  return path;
#endif
}

// The output path of each file of a batch, or an error text when two files would meet.
std::optional<std::string> batch_outputs(const Arguments& args, std::vector<std::string>& outputs) {
  std::map<std::string, std::string> taken;  // output path -> the input writing it
#ifdef _WIN32
  const char separator = '\\';
#else
  const char separator = '/';
#endif
  std::string dir = *args.output_dir;
  if (file_name(dir) != "") dir += separator;
  for (const std::string& input : args.files) {
    const std::string name = file_name(input);
    if (name.empty() || name == "." || name == "..") return "'" + input + "' names no file";
    const std::string output = dir + name;
    if (auto [it, fresh] = taken.emplace(output, input); !fresh)
      return "'" + it->second + "' and '" + input + "' would both be written to " + output;
    outputs.push_back(output);
  }
  return std::nullopt;
}

// One line on standard error that the next line overwrites: files done and the current name.
class Progress {
 public:
  explicit Progress(bool shown) : shown_(shown) {}
  void show(std::size_t done, std::size_t total, const std::string& name) {
    if (!shown_) return;
    clear();
    std::string line = "[";
    line.append(std::to_string(done)).append("/").append(std::to_string(total)).append("] ").append(name);
    if (line.size() > 72) line = line.substr(0, 69) + "...";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    width_ = line.size();
  }
  void clear() {
    if (!shown_ || width_ == 0) return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
    width_ = 0;
  }

 private:
  bool shown_;
  std::size_t width_ = 0;
};

int run(const Arguments& args) {
  const bool check = args.command == "check";
  std::vector<std::string> outputs;
  if (!check) {
    if (!args.output_dir) {
      outputs.push_back(args.files[1]);
    } else {
      if (auto error = batch_outputs(args, outputs)) return usage_error(*error);
      std::error_code ignored;  // a folder that cannot be made fails each repair with its reason
      std::filesystem::create_directories(native_path(*args.output_dir), ignored);
    }
    pdfrepair_init();
  }
  const std::size_t count = check ? args.files.size() : outputs.size();
  Progress progress(!check && count > 1 && isatty(fileno(stderr)));
  int status = 0;
  progress.show(0, count, args.files[0]);
  run_batch(
      count, args.jobs,
      [&](std::size_t i) { return check ? check_one(args.files[i]) : fix_one(args.files[i], outputs[i]); },
      [&](std::size_t i, const Outcome& outcome) {
        progress.clear();
        std::fputs(outcome.out.c_str(), stdout);
        std::fflush(stdout);
        std::fputs(outcome.err.c_str(), stderr);
        if (i + 1 < count) progress.show(i + 1, count, args.files[i + 1]);
        if (outcome.status > status) status = outcome.status;
      });
  progress.clear();
  if (!check) pdfrepair_cleanup();
  return status;
}

}  // namespace
}  // namespace pdfrepair_cli

int main(int argc, char** argv) {
  using namespace pdfrepair_cli;
#ifdef _WIN32
  // Lines end in "\n" as on every other system, and no byte is translated on the way out.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  if (argc < 2) return usage_error("no command given");
  const std::string first = argv[1];
  if (first == "-h" || first == "--help") {
    std::fputs(usage_text, stdout);
    std::fputs("\n", stdout);
    std::fputs(help_text, stdout);
    return 0;
  }
  if (first == "-V" || first == "--version") {
    std::printf("pdfrepair %s\n", PDFREPAIR_VERSION);
    return 0;
  }
  if (first != "check" && first != "fix")
    return usage_error(first[0] == '-' ? "unknown option " + first : "unknown command " + first);
  Arguments args;
  args.command = first;
  if (auto error = parse_options(argc, argv, args)) return usage_error(*error);
  return run(args);
}
