// The directory-read and rename tests.
#pragma once

#include "probe.h"

void readdir_setup();
void readdir_run();
void readdir_report(ElapsedTime &elapsed);
void rexist_run();
void rename2_setup();
void rename2_run();
void rename2_report(ElapsedTime &elapsed);
