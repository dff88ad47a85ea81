// The support log: a copy of the trace in the temporary directory, because the program,
// started through the elevation prompt, has no standard output anybody can read.
#pragma once

// Opens "zandacore-programmer.log" in the temporary directory, keeps the four runs
// before this one, writes this run's header line and sends every later trace there as
// well. When the log cannot be written, the program runs without it.
void OpenSupportLog();
