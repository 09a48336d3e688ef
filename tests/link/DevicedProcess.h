// vexo-deviced as a child process for end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace vexo::link::test
{

class DevicedProcess
{
public:
    // Starts vexo-deviced with the given arguments after --root root; with
    // waitFor set, waits until that path exists (the pty link).
    DevicedProcess(const std::string &root, const std::vector<std::string> &args,
                   const std::string &waitFor = "");
    // With --stdio: the child's stdin and stdout are this descriptor.
    DevicedProcess(const std::string &root, int stdioFd);
    ~DevicedProcess();
    bool running() const { return m_pid > 0; }
    // SIGKILL: the device vanishes without a word.
    void killHard();

private:
    int m_pid = -1;
};

// Runs a program to its end; returns its exit status and fills *out with its stdout.
int runProgram(const std::vector<std::string> &argv, std::string *out = nullptr);

} // namespace vexo::link::test
