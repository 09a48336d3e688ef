#pragma once

#include "LocaleCodec.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vexo
{

// The vdisk commands on one image. Each command mounts the image through
// the library's C functions, works, and unmounts it, which syncs every
// change to the disk once.
class VdiskTool
{
public:
    enum Exit { Ok = 0, Failed = 1, Usage = 2 };

    // args: IMAGE COMMAND [ARGS...] (without the program name).
    int run(const std::vector<std::string> &args);

    static void usage(std::FILE *to);

private:
    int list();
    int listJson(); // VdiskJson.cpp
    int get(const std::vector<std::string> &args);
    int put(std::vector<std::string> args);
    int remove(const std::vector<std::string> &args);
    int move(const std::vector<std::string> &args);
    int format(const std::vector<std::string> &args);
    int check();
    int space();
    int locate();

    // Mounts and keeps the image's lock (exclusive when `changing`).
    bool mount(bool changing);
    bool toImageName(const std::string &local, std::string &name);
    bool getOne(const std::string &name, const std::string &dest);
    bool putOne(const std::string &path, const std::string &name, bool now);
    std::vector<std::string> listNames();
    void fail(const std::string &what, const std::string &why);
    std::string lastErrorText();

    std::string m_image;
    std::string m_command;
    LocaleCodec m_codec;
    char *buffer();

    std::unique_ptr<char[]> m_buffer;
};

} // namespace vexo
