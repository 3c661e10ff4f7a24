#include "sdcc/ProcessRun.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <cstdio>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace sdcc {

#ifdef _WIN32

// Windows: the command line through the command interpreter, each argument in
// double quotes.
ProcessResult RunProcess(const std::vector<std::string>& arguments, const std::filesystem::path& workFolder,
                         std::size_t maxOutput)
{
    ProcessResult result;
    std::string command = "cd /d \"" + workFolder.string() + "\" &&";
    for (const std::string& argument : arguments)
        command += " \"" + argument + "\"";
    command += " 2>&1";
    FILE* pipe = _popen(command.c_str(), "r");
    if (!pipe) {
        result.failure = "cannot run " + arguments.front();
        return result;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.output.append(buffer, std::min(n, maxOutput - std::min(maxOutput, result.output.size())));
    result.exitCode = _pclose(pipe);
    result.started = true;
    return result;
}

#else

ProcessResult RunProcess(const std::vector<std::string>& arguments, const std::filesystem::path& workFolder,
                         std::size_t maxOutput)
{
    ProcessResult result;
    if (arguments.empty()) {
        result.failure = "no program to run";
        return result;
    }
    int output[2];
    int execFailure[2];  // closed by a successful exec; carries errno otherwise
    if (pipe(output) != 0)
        return result.failure = std::strerror(errno), result;
    if (pipe2(execFailure, O_CLOEXEC) != 0) {
        close(output[0]);
        close(output[1]);
        return result.failure = std::strerror(errno), result;
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const std::string folder = workFolder.string();
    const pid_t child = fork();
    if (child == 0) {
        close(output[0]);
        close(execFailure[0]);
        dup2(output[1], 1);
        dup2(output[1], 2);
        close(output[1]);
        int error = 0;
        if (!folder.empty() && chdir(folder.c_str()) != 0)
            error = errno;
        else
            execvp(argv[0], argv.data());
        error = error ? error : errno;
        [[maybe_unused]] const auto written = write(execFailure[1], &error, sizeof error);
        _exit(127);
    }
    close(output[1]);
    close(execFailure[1]);
    if (child < 0) {
        close(output[0]);
        close(execFailure[0]);
        return result.failure = std::strerror(errno), result;
    }
    char buffer[4096];
    for (ssize_t n; (n = read(output[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        const std::size_t room = maxOutput - std::min(maxOutput, result.output.size());
        result.output.append(buffer, std::min(static_cast<std::size_t>(n), room));
    }
    close(output[0]);
    int error = 0;
    const bool execFailed = read(execFailure[0], &error, sizeof error) == sizeof error;
    close(execFailure[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (execFailed) {
        result.failure = "cannot run " + arguments.front() + ": " + std::strerror(error);
        return result;
    }
    result.started = true;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

#endif

} // namespace sdcc
