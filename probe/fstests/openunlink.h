// The open-unlink and open-rename tests.
#pragma once

void open_unlink_setup();
void open_unlink_run();
void open_rename_run();
