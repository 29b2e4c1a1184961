#pragma once

// Starts one of this build's command-line tools as a child process, as a person or a script
// would start it.

#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace tooltest {

// The tool's path in this build (the test mains always set the folder of the build's tools).
inline std::string ToolPath(const std::string& name) {
    return std::string(std::getenv("DEKODER_TOOLS_DIR")) + "/" + name;
}

// Runs the tool `name` with `arguments`, its standard input, output and error on the descriptors
// given (-1 keeps the test's own). Returns the child's process id, or -1 when it cannot start.
inline pid_t StartTool(const std::string& name, std::vector<std::string> arguments, int in, int out,
                       int err = -1) {
    const std::string program = ToolPath(name);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int targets[] = {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO};
        const int given[] = {in, out, err};
        for (int i = 0; i < 3; ++i)
            if (given[i] >= 0 && ::dup2(given[i], targets[i]) < 0)
                ::_exit(126);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

} // namespace tooltest
