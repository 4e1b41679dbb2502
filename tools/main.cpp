// pdfrepair: the command-line face of the library. Checks files and repairs them, one file or
// a batch, optionally in worker processes, with one JSON line per file either way.
#include <pdfrepair.h>

#include "batch.h"
#include "files.h"
#include "json_line.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace pdfrepair_cli {
namespace {

constexpr int status_usage = 2;
constexpr int max_jobs = 256;

// Standard input as an input, standard output as an output.
constexpr std::string_view standard_stream = "-";

// The library's fixed reply for a file it cannot open; the path is in the last-error text.
constexpr std::string_view unopenable_reply =
    R"({"valid":false,"issues":["cannot open file"],"objects":0,"pages":0,"header":""})";

struct Command {
  std::string_view name;
  const char* usage;    // its lines of the usage, each ending in a line break
  const char* summary;  // one line
  const char* text;     // what it prints and its exit status
};

constexpr Command commands[] = {
    {"check", "pdfrepair check [-r] [-j N] FILE...\n", "Report the health of each FILE as a line of JSON.",
     "Print one line of JSON per file, in argument order: the library's health report\n"
     "with the file's path as its first member \"file\", or\n"
     "  {\"file\":PATH,\"error\":REASON}\n"
     "when the file cannot be analysed. Exit status 0 when every file is valid, 1\n"
     "when any is invalid, 2 when any could not be analysed.\n"},
    {"fix",
     "pdfrepair fix [-q] INPUT OUTPUT\n"
     "pdfrepair fix [-q] [-r] [-j N] [--in-place] --output-dir DIR FILE...\n"
     "pdfrepair fix [-q] [-r] [-j N] --in-place FILE...\n",
     "Repair files, and report each as a line of JSON.",
     "Write a repaired PDF 1.4 copy of INPUT to OUTPUT, of every FILE into DIR\n"
     "(created when missing, each output named like its input), or of every FILE\n"
     "where it is. Print one line of JSON per input, in argument order:\n"
     "  {\"file\":IN,\"output\":OUT,\"repaired\":true,\"issues\":[ISSUE...],\n"
     "   \"objects\":[BEFORE,AFTER],\"pages\":[BEFORE,AFTER]}\n"
     "with the check's issues of the input and its counts of the input and of the\n"
     "output (null for an output that cannot be read back), or\n"
     "  {\"file\":IN,\"repaired\":false,\"error\":REASON}\n"
     "on standard output, on standard error when the output is standard output.\n"
     "Each failure is also reported on standard error as \"pdfrepair: FILE: REASON\";\n"
     "a failed repair leaves its output untouched. An output that is one of the\n"
     "inputs is refused unless --in-place is given. Exit status 0 when every repair\n"
     "succeeded, 1 otherwise. On a terminal a batch shows its progress on standard\n"
     "error.\n"},
    {"help", "pdfrepair help [COMMAND]\n", "Show the help of COMMAND.",
     "Show the help of COMMAND, or of the whole tool.\n"},
};

constexpr const char* tool_usage = "pdfrepair --help | --version\n";

struct Option {
  const char* names;
  const char* text;
  std::string_view commands;  // the commands taking it, "" for none (an option of the tool)
};

constexpr Option options[] = {
    {"-r, --recursive",
     "A folder stands for every regular file under it\n"
     "whose name ends in .pdf (any case), depth first,\n"
     "each folder's entries in byte order of their names;\n"
     "symbolic links are not followed. Outputs in a DIR\n"
     "keep their paths below the folder. Without -r a\n"
     "folder fails with \"is a directory\".",
     "check fix"},
    {"-j N, --jobs N",
     "Run a batch in N worker processes (1 to 256).\n"
     "Output, messages and exit status are those of a\n"
     "serial run, in argument order.\n"
     "On Windows batches always run serially.",
     "check fix"},
    {"-o DIR, --output-dir DIR", "The folder for the repaired files of a batch.", "fix"},
    {"--in-place",
     "Repair every FILE where it is; with --output-dir,\n"
     "let outputs replace inputs.",
     "fix"},
    {"-q, --quiet", "Print no JSON lines, only the failures.", "fix"},
    {"-h, --help", "Show the help.", "check fix help"},
    {"-V, --version", "Show the version.", ""},
    {"--",
     "End of options: every later argument is a file.\n"
     "A FILE or INPUT of - is standard input, an OUTPUT\n"
     "of - standard output.",
     "check fix"},
};

constexpr const char* examples =
    "Examples:\n"
    "  pdfrepair check scan.pdf\n"
    "  pdfrepair fix scan.pdf scan-repaired.pdf\n"
    "  pdfrepair fix - - < scan.pdf > scan-repaired.pdf\n"
    "  pdfrepair fix -j 4 --output-dir repaired incoming/*.pdf\n"
    "  pdfrepair fix -r --output-dir repaired incoming\n"
    "  pdfrepair fix --in-place scan.pdf\n"
    "  pdfrepair check repaired/*.pdf\n";

constexpr std::size_t command_column = 10, option_column = 28;

// Lines after the first indented by indent.
std::string indented(std::string_view lines, std::size_t indent) {
  std::string out;
  for (char c : lines) {
    out += c;
    if (c == '\n') out.append(indent, ' ');
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// Text in a column from the given one, after a head that ends before it or on a line above.
std::string in_column(std::string head, std::string_view text, std::size_t column) {
  if (head.size() < column)
    head.append(column - head.size(), ' ');
  else
    head.append("\n").append(column, ' ');
  return head + indented(text, column) + "\n";
}

// The usage of one command, or of the whole tool.
std::string usage(const Command* only) {
  std::string lines;
  for (const Command& command : commands)
    if (!only || &command == only) lines += command.usage;
  if (!only) lines += tool_usage;
  return "usage: " + indented(lines, 7);
}

// The help of one command (usage, what it does, its options), or of the whole tool (usage,
// the commands, every option, examples).
std::string help(const Command* only) {
  std::string text = usage(only) + "\n";
  if (only) {
    text += only->text;
  } else {
    text += "pdfrepair validates and repairs damaged PDF files.\n\nCommands:\n";
    for (const Command& command : commands)
      text += in_column("  " + std::string(command.name), command.summary, command_column);
  }
  text += "\nOptions:\n";
  for (const Option& option : options)
    if (!only || std::string_view(option.commands).find(only->name) != std::string_view::npos)
      text += in_column(std::string("  ") + option.names, option.text, option_column);
  if (!only)
    text += std::string("\n'pdfrepair help COMMAND' shows what a command prints and its exit status.\n") +
            "Usage errors exit with status 2.\n\n" + examples;
  return text;
}

const Command* find_command(std::string_view name) {
  for (const Command& command : commands)
    if (command.name == name) return &command;
  return nullptr;
}

struct Arguments {
  const Command* command = nullptr;
  int jobs = 1;
  std::optional<std::string> output_dir;
  bool in_place = false;
  bool quiet = false;
  bool recursive = false;
  bool help = false;
  std::vector<std::string> files;
};

int usage_error(const std::string& message) {
  std::fprintf(stderr, "pdfrepair: %s\n%s", message.c_str(), usage(nullptr).c_str());
  return status_usage;
}

std::optional<int> parse_jobs(const std::string& text) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const int jobs = std::atoi(text.c_str());
  if (jobs < 1 || jobs > max_jobs) return std::nullopt;
  return jobs;
}

// fix INPUT OUTPUT, where the second file is no input.
bool input_and_output(const Arguments& args) {
  return args.command->name == "fix" && !args.output_dir && !args.in_place;
}

std::size_t input_count(const Arguments& args) { return input_and_output(args) ? 1 : args.files.size(); }

// Parses the arguments after the command; an error text when they make no sense.
std::optional<std::string> parse_options(int argc, char** argv, Arguments& args) {
  const std::string_view name = args.command->name;
  const bool fix = name == "fix";
  bool options_ended = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_ended || arg == standard_stream || arg[0] != '-') {
      args.files.push_back(arg);
      continue;
    }
    // The option's value: "-j4", "--jobs=4" or the next argument.
    const auto value = [&](std::string_view option) -> std::optional<std::string> {
      if (arg.size() > option.size() && arg.compare(0, option.size(), option) == 0)
        return arg.substr(option.size() + (arg[option.size()] == '=' ? 1 : 0));
      if (i + 1 < argc) return std::string(argv[++i]);
      return std::nullopt;
    };
    const auto is = [&](std::string_view short_name, std::string_view long_name) {
      return arg.rfind(short_name, 0) == 0 || arg == long_name ||
             arg.rfind(std::string(long_name) + "=", 0) == 0;
    };
    const bool long_form = arg.rfind("--", 0) == 0;
    if (arg == "--") {
      options_ended = true;
    } else if (arg == "-h" || arg == "--help") {
      args.help = true;
      return std::nullopt;
    } else if (name == "help") {
      return "unknown option " + arg;
    } else if (arg == "-r" || arg == "--recursive") {
      args.recursive = true;
    } else if (is("-j", "--jobs")) {
      const auto text = value(long_form ? "--jobs" : "-j");
      if (!text) return "option " + arg + " needs a number";
      const auto jobs = parse_jobs(*text);
      if (!jobs) return "-j needs a number from 1 to 256, not '" + *text + "'";
      args.jobs = *jobs;
    } else if (fix && is("-o", "--output-dir")) {
      const auto dir = value(long_form ? "--output-dir" : "-o");
      if (!dir || dir->empty()) return "option " + arg + " needs a folder";
      args.output_dir = *dir;
    } else if (fix && arg == "--in-place") {
      args.in_place = true;
    } else if (fix && (arg == "-q" || arg == "--quiet")) {
      args.quiet = true;
    } else {
      return "unknown option " + arg;
    }
  }
  if (name == "help") return args.files.size() > 1 ? std::optional<std::string>("help takes one COMMAND") : std::nullopt;
  if (args.files.empty()) return "no files given";
  if (input_and_output(args)) {
    if (args.files.size() != 2) return "fix needs INPUT and OUTPUT, --output-dir DIR or --in-place";
    if (args.recursive) return "-r needs --output-dir or --in-place";
  }
  std::size_t from_standard_input = 0;
  for (std::size_t i = 0; i < input_count(args); ++i) from_standard_input += args.files[i] == standard_stream;
  if (from_standard_input > 1) return "standard input can be read only once";
  if (from_standard_input && args.in_place && !args.output_dir) return "standard input cannot be repaired in place";
  return std::nullopt;
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

// One file to check or repair.
struct Task {
  std::string input;     // as given or found; "-" for standard input
  std::string relative;  // its output's path below an output folder
  std::string source;    // what the library reads: a copy of standard input for "-"
  std::string output;    // as given or made; "-" for standard output
  std::string target;    // what the library writes: a file copied to standard output for "-"
  std::string error;     // a failure known before the library is asked
  bool to_standard_output = false;  // then its line goes to standard error
};

// The inputs' tasks in argument order, a folder standing for its PDF files with -r.
std::vector<Task> input_tasks(const Arguments& args) {
  std::vector<Task> tasks;
  for (std::size_t i = 0; i < input_count(args); ++i) {
    const std::string& file = args.files[i];
    if (file == standard_stream) {
      tasks.push_back({file, "", "", "", "", ""});
    } else if (!is_folder(file)) {
      tasks.push_back({file, file_name(file), file, "", "", ""});
    } else if (!args.recursive) {
      tasks.push_back({file, "", file, "", "", "is a directory"});
    } else {
      for (const Found& found : pdf_files_under(file))
        tasks.push_back({found.path, found.relative, found.path, "", "", found.error});
    }
  }
  return tasks;
}

// The output of each task of fix, or an error text when two would meet.
std::optional<std::string> assign_outputs(const Arguments& args, std::vector<Task>& tasks) {
  std::map<std::string, std::string> taken;  // output path -> the input writing it
  for (Task& task : tasks) {
    if (!task.error.empty()) continue;
    if (!args.output_dir) {
      task.output = args.in_place ? task.input : args.files[1];
    } else {
      const std::string name = file_name(task.relative);
      if (name.empty() || name == "." || name == "..") return "'" + task.input + "' names no file";
      task.output = join(*args.output_dir, task.relative);
    }
    if (auto [it, fresh] = taken.emplace(task.output, task.input); !fresh)
      return "'" + it->second + "' and '" + task.input + "' would both be written to " + task.output;
  }
  return std::nullopt;
}

// Where each output goes: refused when it is one of the inputs (without --in-place), through a
// temporary file for standard output, and whether its line goes to standard error.
void resolve_outputs(const Arguments& args, std::vector<Task>& tasks, const std::string& output_copy) {
  std::set<FileId> inputs;
  for (const Task& task : tasks) {
    if (!task.error.empty()) continue;
    if (const std::optional<FileId> id = file_id(task.source)) inputs.insert(*id);
  }
  const std::optional<FileId> standard_output = standard_output_id();
  for (Task& task : tasks) {
    if (!task.error.empty()) continue;
    if (task.output == standard_stream) {
      task.to_standard_output = true;
      task.target = output_copy;
      if (task.target.empty()) task.error = "cannot write -";
      continue;
    }
    task.target = task.output;
    const std::optional<FileId> id = file_id(task.output);
    if (!id) continue;
    task.to_standard_output = id == standard_output;
    if (!args.in_place && inputs.count(*id)) task.error = "output is the input (use --in-place)";
  }
}

// A last-error text with the temporary copies named as the streams they stand for.
std::string reason(const Task& task) {
  std::string text = pdfrepair_last_error();
  for (const auto& [copy, stream] : {std::pair{task.source, task.input}, std::pair{task.target, task.output}}) {
    if (copy == stream || copy.empty()) continue;
    for (std::size_t at = text.find(copy); at != std::string::npos; at = text.find(copy, at + stream.size()))
      text.replace(at, copy.size(), stream);
  }
  return text;
}

Outcome check_one(const Task& task) {
  if (!task.error.empty()) return {2, error_line(task.input, task.error) + "\n", ""};
  const std::string report = pdfrepair_check(task.source.c_str());
  if (report.empty() || report == unopenable_reply) return {2, error_line(task.input, reason(task)) + "\n", ""};
  const bool valid = report.rfind("{\"valid\":true,", 0) == 0;
  return {valid ? 0 : 1, report_line(task.input, report) + "\n", ""};
}

// The check's facts of a file, none for one it cannot read.
ReportFacts facts(const std::string& path) {
  const std::string report = pdfrepair_check(path.c_str());
  return report == unopenable_reply ? ReportFacts{} : report_facts(report);
}

Outcome fix_one(const Task& task, bool quiet) {
  const auto outcome = [&](int status, const std::string& line, const std::string& message) {
    const std::string shown = quiet ? "" : line + "\n";
    return task.to_standard_output ? Outcome{status, "", shown + message} : Outcome{status, shown, message};
  };
  const auto failed = [&](const std::string& why) {
    return outcome(1, unrepaired_line(task.input, why), "pdfrepair: " + task.input + ": " + why + "\n");
  };
  if (!task.error.empty()) return failed(task.error);
  const ReportFacts before = facts(task.source);
  const std::string written = final_path(task.target);
  if (!pdfrepair_fix(task.source.c_str(), task.target.c_str())) return failed(reason(task));
  const ReportFacts after = is_regular_file(written) ? facts(written) : ReportFacts{};
  if (task.output == standard_stream && !copy_to_standard_output(task.target)) return failed("write error on -");
  return outcome(0, repaired_line(task.input, task.output, before, after), "");
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
  const bool check = args.command->name == "check";
  std::vector<Task> tasks = input_tasks(args);
  if (!check)
    if (auto error = assign_outputs(args, tasks)) return usage_error(*error);
  // Removed on every way out, a signal that ends the process included.
  std::unique_ptr<TempFile> input_copy, output_copy;
  for (Task& task : tasks) {
    if (task.input != standard_stream) continue;
    input_copy = std::make_unique<TempFile>();
    task.source = input_copy->path();
    if (task.source.empty() || !copy_standard_input_to(task.source)) task.error = "cannot read standard input";
  }
  if (!check) {
    if (input_and_output(args) && args.files[1] == standard_stream)
      output_copy = std::make_unique<TempFile>();
    resolve_outputs(args, tasks, output_copy ? output_copy->path() : "");
    if (args.output_dir)
      for (const Task& task : tasks)
        if (task.error.empty()) make_parent_folders(task.output);
    pdfrepair_init();
  }
  const std::size_t count = tasks.size();
  Progress progress(!check && count > 1 && isatty(fileno(stderr)));
  int status = 0;
  if (count > 0) progress.show(0, count, tasks[0].input);
  run_batch(
      count, args.jobs, [&](std::size_t i) { return check ? check_one(tasks[i]) : fix_one(tasks[i], args.quiet); },
      [&](std::size_t i, const Outcome& outcome) {
        progress.clear();
        std::fputs(outcome.out.c_str(), stdout);
        std::fflush(stdout);
        std::fputs(outcome.err.c_str(), stderr);
        if (i + 1 < count) progress.show(i + 1, count, tasks[i + 1].input);
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
    std::fputs(help(nullptr).c_str(), stdout);
    return 0;
  }
  if (first == "-V" || first == "--version") {
    std::printf("pdfrepair %s\n", PDFREPAIR_VERSION_STRING);
    return 0;
  }
  Arguments args;
  args.command = find_command(first);
  if (!args.command) return usage_error(first[0] == '-' ? "unknown option " + first : "unknown command " + first);
  if (auto error = parse_options(argc, argv, args)) return usage_error(*error);
  if (args.command->name == "help" && !args.help) {
    const Command* topic = args.files.empty() ? nullptr : find_command(args.files[0]);
    if (!args.files.empty() && !topic) return usage_error("unknown command " + args.files[0]);
    std::fputs(help(topic).c_str(), stdout);
    return 0;
  }
  if (args.help) {
    std::fputs(help(args.command).c_str(), stdout);
    return 0;
  }
  return run(args);
}
