// The tree, lookup and unavailable tests.
#pragma once

void null_run();
