// Helpers of the file-system tests' command-line cases.
#pragma once

#include <dirent.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "cli.h"

using Env = std::vector<std::pair<std::string, std::string>>;

// The sorted entry names of a directory, without "." and "..".
inline std::vector<std::string> entries(const std::string &path)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(path.c_str())) {
        while (struct dirent *entry = readdir(dir))
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Runs kelnprobe in the scratch directory.
inline RunResult probe(const ScratchDir &scratch, const std::vector<std::string> &args, const Env &env = {},
                       const std::string &input = "")
{
    RunOptions options;
    options.env = env;
    options.input = input;
    return run_program(scratch, program_path("kelnprobe"), args, options);
}
