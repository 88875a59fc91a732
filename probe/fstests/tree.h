// The tree, lookup and unavailable tests.
#pragma once

#include <stdint.h>

#include "probe.h"

void null_run();

void mktree_run();
void mktree_report(ElapsedTime &elapsed);

// The stat walk, exported by kelnprobe under this name.
extern "C" int32_t stattree(int32_t level, const char *parent, const char *name);
void stattree_run();
void stattree_report(ElapsedTime &elapsed);

void rmtree_run();
void rmtree_report(ElapsedTime &elapsed);

void getwd_setup();
void getwd_run();
void getwd_report(ElapsedTime &elapsed);

void stat_setup();
void stat_run();
void stat_report(ElapsedTime &elapsed);

void setup_nothing();
