// Usage: orvane_demo_data <folder>
// Run by the build; writes the demo data set into the folder.
#include "tools/COrvaneDemoData.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    return BuildDemoData(argv[1]) ? 0 : 1;
}
