// kelnprobe: the file-system test driver.
#include "probe.h"

int main(int argc, char **argv)
{
    return probe_main(argc, argv);
}
