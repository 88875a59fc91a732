#include "cli.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

ScratchDir::ScratchDir()
{
    const char *base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kelntest.XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        throw std::runtime_error("mkdtemp: " + std::string(strerror(errno)));
    path_ = buffer.data();
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    // Give back permissions a test took away, so that everything can go.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            chmod(it->path().c_str(), 0700);
    }
    std::filesystem::remove_all(path_, ignored);
}

std::string program_path(const std::string &name)
{
    return std::string(KELN_BIN_DIR) + "/" + name;
}

static std::vector<std::string> make_environment(const ScratchDir &scratch, const RunOptions &options)
{
    std::map<std::string, std::string> env = {
        {"PATH", "/usr/local/bin:/usr/bin:/bin"},
        {"LANG", "C"},
        {"HOME", scratch.path()},
        {"TMPDIR", scratch.path()},
        {"KELN_HOST", scratch / "host"},
    };
    for (const auto &[name, value] : options.env)
        env[name] = value;
    for (const std::string &name : options.unset)
        env.erase(name);
    std::vector<std::string> entries;
    for (const auto &[name, value] : env)
        entries.push_back(name + "=" + value);
    return entries;
}

static double now_seconds()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

RunResult run_program(const ScratchDir &scratch, const std::string &program,
                      const std::vector<std::string> &args, const RunOptions &options)
{
    std::vector<std::string> env_entries = make_environment(scratch, options);
    std::vector<char *> argv, envp;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    for (const std::string &entry : env_entries)
        envp.push_back(const_cast<char *>(entry.c_str()));
    envp.push_back(nullptr);
    std::string cwd = options.cwd.empty() ? scratch.path() : options.cwd;

    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
        throw std::runtime_error("pipe: " + std::string(strerror(errno)));
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        signal(SIGPIPE, SIG_DFL);
        if (chdir(cwd.c_str()) != 0)
            _exit(126);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);

    // Feed standard input and collect both outputs without blocking on either.
    RunResult result;
    size_t fed = 0;
    int in_fd = in[1];
    if (options.input.empty()) {
        close(in_fd);
        in_fd = -1;
    } else {
        fcntl(in_fd, F_SETFL, O_NONBLOCK);
    }
    signal(SIGPIPE, SIG_IGN);
    double deadline = now_seconds() + options.timeout_seconds;
    int open_outputs = 2;
    while (open_outputs > 0) {
        struct pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in_fd, POLLOUT, 0}};
        int left_ms = (int)((deadline - now_seconds()) * 1000);
        if (left_ms <= 0) {
            result.timed_out = true;
            kill(-pid, SIGKILL);
            break;
        }
        if (poll(fds, in_fd >= 0 ? 3 : 2, left_ms) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[65536];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? result.out : result.err).append(buffer, n);
            } else {
                close(fds[i].fd);
                (i == 0 ? out[0] : err[0]) = -1;
                open_outputs--;
            }
        }
        if (in_fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n = write(in_fd, options.input.data() + fed, options.input.size() - fed);
            if (n > 0)
                fed += n;
            if (n < 0 || fed == options.input.size()) {
                close(in_fd);
                in_fd = -1;
            }
        }
    }
    if (in_fd >= 0)
        close(in_fd);
    if (out[0] >= 0)
        close(out[0]);
    if (err[0] >= 0)
        close(err[0]);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        result.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.exit_code = 128 + WTERMSIG(status);
    return result;
}

void write_file(const std::string &path, const std::string &contents)
{
    std::ofstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot write " + path);
    file << contents;
}

std::string read_file(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool path_exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}
