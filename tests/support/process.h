// Running a program as a process of its own, without a shell, on POSIX systems and on Windows:
// its arguments passed as given, standard input empty, standard output and error into files.
#pragma once

#include <string>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // or windows.h would turn std::min and std::max into macros
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;
#endif

namespace pdftest {

#ifdef _WIN32

// One argument as the C runtime's parser of a command line reads it back: quoted, with the
// backslashes before a quote doubled.
inline std::string command_line_argument(const std::string& arg) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

// Runs argv[0] (a path, not searched for) and answers its exit status, -1 when it did not run.
// out and err may name the same file.
inline int run_program(const std::vector<std::string>& argv, const std::string& out, const std::string& err) {
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  const auto open = [&](const std::string& path, DWORD access, DWORD disposition) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE in_handle = open("NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE out_handle = open(out, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err_handle = err == out ? out_handle : open(err, GENERIC_WRITE, CREATE_ALWAYS);
  std::string command;
  for (const std::string& arg : argv) command.append(command.empty() ? "" : " ").append(command_line_argument(arg));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in_handle;
  startup.hStdOutput = out_handle;
  startup.hStdError = err_handle;
  PROCESS_INFORMATION process{};
  DWORD status = static_cast<DWORD>(-1);
  if (CreateProcessA(argv[0].c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  for (HANDLE h : {in_handle, out_handle, err_handle == out_handle ? INVALID_HANDLE_VALUE : err_handle})
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return static_cast<int>(status);
}

#else

// Runs argv[0] (searched for in PATH) and answers its exit status, -1 when it did not run or
// was killed. out and err may name the same file.
inline int run_program(const std::vector<std::string>& argv, const std::string& out, const std::string& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (err == out)
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  else
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int raw = 0;
  if (waitpid(pid, &raw, 0) != pid) return -1;
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

#endif

}  // namespace pdftest
