// Shared by the benchmarks that run the script runner as a user does, in a
// process of its own: a scratch folder of this process (removed at exit),
// and the runner started with its output in a log and its debug files in
// the output folder's "diagnostics".
#pragma once

#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace hostbench {

struct Scratch {
    std::filesystem::path path;
    explicit Scratch(const std::string& prefix)
        : path(std::filesystem::temp_directory_path() / (prefix + std::to_string(getpid())))
    {
        std::filesystem::create_directories(path);
    }
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

// The runner (MW_VZHOST) with the arguments after its name, its standard
// output and error into log, FENWO_DIAGNOSTICS_DIR set to out/diagnostics.
// Its exit code, or -1 when it could not run or did not exit; peakKb, when
// given, takes its peak resident memory.
inline int runHost(const std::vector<std::string>& arguments, const std::string& out,
                   const std::string& log, long* peakKb = nullptr)
{
    std::filesystem::create_directories(out + "/diagnostics");
    const std::string diagnostics = "FENWO_DIAGNOSTICS_DIR=" + out + "/diagnostics";
    std::vector<char*> environment;
    for (char** e = environ; *e != nullptr; ++e)
        environment.push_back(*e);
    environment.push_back(const_cast<char*>(diagnostics.c_str()));
    environment.push_back(nullptr);
    std::vector<char*> argv{const_cast<char*>(MW_VZHOST)};
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = 0;
    const int started =
        posix_spawn(&child, MW_VZHOST, &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status))
        return -1;
    if (peakKb != nullptr)
        *peakKb = usage.ru_maxrss;
    return WEXITSTATUS(status);
}

} // namespace hostbench
