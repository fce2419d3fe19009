// Runs a copy of the built program in a sandbox of its own, for end-to-end tests: a temp
// directory with bin/nocunzip and the unzip library chosen by the test beside it, and a
// settings file under XDG_CONFIG_HOME. The program runs in a new session without a
// controlling terminal (so no box can wait for an answer), or under a pseudo terminal that
// the test types into.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifndef NOCUNZIP_PROGRAM_EMULATOR
#define NOCUNZIP_PROGRAM_EMULATOR ""
#endif

extern char** environ;

namespace nocunzip::e2e {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

struct RunResult {
  int exit_status = -1;  // -1 when the program did not exit normally
  std::string output;    // standard error and standard output as they came
};

class ProgramSandbox {
 public:
  // `program` is the built executable; it is copied so that a library beside the copy is
  // the one it finds.
  explicit ProgramSandbox(const fs::path& program) {
    std::random_device random;
    root_ = fs::temp_directory_path() /
            ("nocunzip-e2e-" + std::to_string(getpid()) + "-" + std::to_string(random()));
    fs::create_directories(root_ / "bin");
    fs::create_directories(root_ / "config" / "Nocturnis");
    fs::copy_file(program, root_ / "bin" / "nocunzip");
  }
  ~ProgramSandbox() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  ProgramSandbox(const ProgramSandbox&) = delete;
  ProgramSandbox& operator=(const ProgramSandbox&) = delete;

  const fs::path& root() const { return root_; }

  // Puts `library` beside the program as libunzip32.so.
  void UseLibrary(const fs::path& library) {
    fs::copy_file(library, root_ / "bin" / "libunzip32.so", fs::copy_options::overwrite_existing);
  }

  // The main program's directory in the settings file; nullopt leaves no settings file.
  void SetDirectorySetting(const std::optional<std::string>& value) {
    const fs::path file = root_ / "config" / "Nocturnis" / "settings.ini";
    if (!value) {
      fs::remove(file);
      return;
    }
    WriteFile(file, "[Verzeichnisse]\nNocturnis-Verzeichnis=" + *value + "\n");
  }

  // Runs the program with `args` after its own name and `env` ("NAME=value") added to the
  // test's environment, in working directory `cwd` (default: the sandbox).
  RunResult Run(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                const fs::path& cwd = fs::path()) const {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return RunResult();
    Command command = Prepare(args, env, cwd);
    pid_t child = fork();
    if (child == 0) {
      setsid();
      int null_fd = open("/dev/null", O_RDONLY);
      dup2(null_fd, STDIN_FILENO);
      dup2(pipe_fds[1], STDOUT_FILENO);
      dup2(pipe_fds[1], STDERR_FILENO);
      close(pipe_fds[0]);
      command.Exec();
    }
    close(pipe_fds[1]);
    RunResult result;
    char buffer[4096];
    for (;;) {
      ssize_t n = read(pipe_fds[0], buffer, sizeof(buffer));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      result.output.append(buffer, static_cast<size_t>(n));
    }
    close(pipe_fds[0]);
    result.exit_status = Wait(child);
    return result;
  }

  // Starts the program like Run, its output dropped, and returns its process id at once;
  // the caller waits for it (waitpid).
  pid_t Start(const std::vector<std::string>& args,
              const std::vector<std::string>& env = {}) const {
    Command command = Prepare(args, env, fs::path());
    const pid_t child = fork();
    if (child == 0) {
      setsid();
      const int null_fd = open("/dev/null", O_RDWR);
      dup2(null_fd, STDIN_FILENO);
      dup2(null_fd, STDOUT_FILENO);
      dup2(null_fd, STDERR_FILENO);
      command.Exec();
    }
    return child;
  }

  // Runs the program under a pseudo terminal. Whenever the output so far ends with
  // `prompt`, `answer` is called with the number of the question (from 0) and its result
  // typed into the terminal.
  RunResult RunUnderTerminal(const std::vector<std::string>& args,
                             const std::vector<std::string>& env, const std::string& prompt,
                             const std::function<std::string(int)>& answer) const {
    Command command = Prepare(args, env, fs::path());
    int master = -1;
    pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) command.Exec();
    RunResult result;
    if (child < 0) return result;
    int questions = 0;
    size_t scanned = 0;
    char buffer[4096];
    for (;;) {
      pollfd poll_fd{master, POLLIN, 0};
      if (poll(&poll_fd, 1, 20000) <= 0) {
        kill(child, SIGKILL);  // a program that hangs must not hang the tests
        break;
      }
      ssize_t n = read(master, buffer, sizeof(buffer));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // EIO once the program has closed its side
      result.output.append(buffer, static_cast<size_t>(n));
      size_t at = result.output.find(prompt, scanned);
      if (at != std::string::npos) {
        scanned = at + prompt.size();
        const std::string typed = answer(questions++);
        if (write(master, typed.data(), typed.size()) < 0) break;
      }
    }
    close(master);
    result.exit_status = Wait(child);
    return result;
  }

 private:
  struct Command {
    std::string program;
    std::string cwd;
    std::vector<std::string> argv_text;
    std::vector<std::string> env_text;

    [[noreturn]] void Exec() {
      std::vector<char*> argv, envp;
      for (std::string& a : argv_text) argv.push_back(a.data());
      argv.push_back(nullptr);
      for (std::string& e : env_text) envp.push_back(e.data());
      envp.push_back(nullptr);
      if (chdir(cwd.c_str()) != 0) _exit(127);
      execve(program.c_str(), argv.data(), envp.data());
      _exit(127);
    }
  };

  // The program starts directly, or through the emulator that runs this build's programs
  // (NOCUNZIP_PROGRAM_EMULATOR, e.g. qemu-i386). The emulator hands the environment on to
  // the program, all but a preloaded library, which is the program's and not its own.
  Command Prepare(const std::vector<std::string>& args, const std::vector<std::string>& env,
                  const fs::path& cwd) const {
    Command command;
    const std::string program = (root_ / "bin" / "nocunzip").string();
    const std::string emulator = NOCUNZIP_PROGRAM_EMULATOR;
    command.program = emulator.empty() ? program : emulator;
    command.cwd = cwd.empty() ? root_.string() : cwd.string();
    command.argv_text.push_back(command.program);
    if (!emulator.empty()) {
      for (const std::string& entry : env) {
        if (entry.rfind("LD_PRELOAD=", 0) == 0)
          command.argv_text.insert(command.argv_text.end(), {"-E", entry});
      }
      command.argv_text.push_back(program);
    }
    command.argv_text.insert(command.argv_text.end(), args.begin(), args.end());
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      if (entry.rfind("XDG_CONFIG_HOME=", 0) == 0 || entry.rfind("FAKE_UNZIP_", 0) == 0 ||
          entry.rfind("LD_LIBRARY_PATH=", 0) == 0)
        continue;
      command.env_text.push_back(entry);
    }
    command.env_text.push_back("XDG_CONFIG_HOME=" + (root_ / "config").string());
    for (const std::string& entry : env) {
      if (emulator.empty() || entry.rfind("LD_PRELOAD=", 0) != 0) command.env_text.push_back(entry);
    }
    return command;
  }

  static int Wait(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path root_;
};

}  // namespace nocunzip::e2e
