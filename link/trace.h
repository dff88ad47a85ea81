// Diagnostic trace: printf-style text on standard output, never shown in the window.
#pragma once
#include <cstdio>

[[gnu::format(printf, 1, 2)]] void Trace(const char* format, ...);

// Pushes pending trace out, for the steps that may wait a long time afterwards.
void TraceFlush();

// Every later trace text also goes to COPY (the support log) when it is not null.
void TraceCopyTo(std::FILE* copy);
