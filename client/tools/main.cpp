// orvane-replay: see ReplayTool.h.
#include <iostream>
#include <string>
#include <vector>

#include "client/tools/ReplayTool.h"

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return orvane::replaytool::run(args, std::cout, std::cerr);
}
