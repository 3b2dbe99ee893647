#include "platform/process.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fabricor {

bool StartDetachedProgram(const std::string& program, const std::string& argument,
                          const std::string& workingFolder) {
    // A double fork leaves the program to init, so nobody waits for it; a pipe closed on exec
    // tells whether the exec succeeded.
    std::string programBytes = program;
    std::string argumentBytes = argument;
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        return false;
    pid_t child = ::fork();
    if (child < 0) {
        ::close(ready[0]);
        ::close(ready[1]);
        return false;
    }
    if (child == 0) {
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild != 0)
            ::_exit(0);
        if (!workingFolder.empty() && ::chdir(workingFolder.c_str()) != 0) {
            int error = errno;
            [[maybe_unused]] auto n = ::write(ready[1], &error, sizeof error);
            ::_exit(127);
        }
        char* argv[] = {programBytes.data(), argumentBytes.data(), nullptr};
        ::execve(programBytes.c_str(), argv, environ);
        int error = errno;
        [[maybe_unused]] auto n = ::write(ready[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(ready[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    int error = 0;
    ssize_t got = ::read(ready[0], &error, sizeof error);
    ::close(ready[0]);
    return got == 0; // the exec closed the pipe without a word: the program runs
}

std::optional<std::string> ProgramParameterString(int argc, char** argv) {
    if (argc != 2)
        return std::nullopt;
    return std::string(argv[1]);
}

} // namespace fabricor
