#include <cstdio>

#include "app/Entry.h"

int RunReport(int argc, char** argv)
{
    (void)argc;
    (void)argv;
    std::fputs("quillmere: --report is not available yet\n", stderr);
    return 2;
}
