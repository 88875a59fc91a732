// The create, read/write and attribute tests.
#pragma once

#include "probe.h"

void creat_setup();
void creat_run();
void rdwr_setup();
void rdwr_run();
void rdwr_report(ElapsedTime &elapsed);
void setattr_run();
void negseek_setup();
void negseek_run();
void negseek_report(ElapsedTime &elapsed);
void open_chmod_setup();
void open_chmod_run();
void fddup_setup();
void fddup_run();
void fddup_report(ElapsedTime &elapsed);
