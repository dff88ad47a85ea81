// The stand-in library's thread for the bus's timed steps: a restart's leave and
// return, and the re-checks of hidden registry keys, run on the real clock while the
// program polls the device list. It lives only while something is due.
#pragma once

// Within a bus use: makes sure the thread runs when something is due, and wakes it
// to recompute its wait.
void SimTimerThreadWatch();
