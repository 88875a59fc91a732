// The load tests: one short sequence of name-space calls on one name, repeated.
#pragma once

#include "probe.h"

void creat_rm_load_setup();
void creat_rm_load_run();
void creat_rm_load_report(ElapsedTime &elapsed);

void xcreat_load_setup();
void xcreat_load_run();
void xcreat_load_report(ElapsedTime &elapsed);

void rename_load_setup();
void rename_load_run();
void rename_load_report(ElapsedTime &elapsed);

void mkdir_load_setup();
void mkdir_load_run();
void mkdir_load_report(ElapsedTime &elapsed);
