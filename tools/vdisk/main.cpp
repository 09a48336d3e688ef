#include "VdiskTool.h"

#include <clocale>

int main(int argc, char **argv)
{
    std::setlocale(LC_CTYPE, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
        vexo::VdiskTool::usage(stdout);
        return 0;
    }
    vexo::VdiskTool tool;
    return tool.run(args);
}
