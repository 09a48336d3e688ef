#include "DevicedProcess.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vexo::link::test
{

namespace
{
std::vector<char *> cArgs(const std::vector<std::string> &args)
{
    std::vector<char *> v;
    for (const auto &a : args)
        v.push_back(const_cast<char *>(a.c_str()));
    v.push_back(nullptr);
    return v;
}
} // namespace

DevicedProcess::DevicedProcess(const std::string &root, const std::vector<std::string> &args,
                               const std::string &waitFor)
{
    std::vector<std::string> all = {VEXO_DEVICED_PATH, "--root", root};
    all.insert(all.end(), args.begin(), args.end());
    auto argv = cArgs(all);
    m_pid = fork();
    if (m_pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (waitFor.empty())
        return;
    for (int i = 0; i < 200 && !std::filesystem::exists(waitFor); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

DevicedProcess::DevicedProcess(const std::string &root, int stdioFd)
{
    std::vector<std::string> all = {VEXO_DEVICED_PATH, "--root", root, "--stdio"};
    auto argv = cArgs(all);
    m_pid = fork();
    if (m_pid == 0) {
        dup2(stdioFd, STDIN_FILENO);
        dup2(stdioFd, STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
}

DevicedProcess::~DevicedProcess()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}

void DevicedProcess::killHard()
{
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

int runProgram(const std::vector<std::string> &argv, std::string *out)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    auto args = cArgs(argv);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        execv(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (out)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace vexo::link::test
