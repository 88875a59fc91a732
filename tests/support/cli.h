// Running a built program as a user would, in a scratch directory.
#pragma once

#include <string>
#include <utility>
#include <vector>

// A directory of its own for one test, removed with everything in it at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct RunOptions {
    std::string cwd;                                        // default: the scratch directory
    std::vector<std::pair<std::string, std::string>> env;   // added to (or replacing) the base
    std::vector<std::string> unset;                         // removed from the base
    std::string input;                                      // standard input
    int timeout_seconds = 60;
};

struct RunResult {
    int exit_code = -1;   // the exit status; 128 + the signal for a killed program
    bool timed_out = false;
    std::string out, err;
};

// The full path of a program built by this project.
std::string program_path(const std::string &name);

// Runs program with args in a small environment: PATH, LANG=C, and HOME,
// TMPDIR and KELN_HOST inside `scratch`, then RunOptions::env.
RunResult run_program(const ScratchDir &scratch, const std::string &program,
                      const std::vector<std::string> &args, const RunOptions &options = {});

// Small file helpers for fixtures.
void write_file(const std::string &path, const std::string &contents);
std::string read_file(const std::string &path);
bool path_exists(const std::string &path);
