// The tree, lookup and unavailable tests.
#include "tree.h"

#include "probe.h"

// The bare loop: no file-system call at all.
void null_run()
{
    settings.calls_per_iteration = 1;
}
