#include "link/trace.h"

#include <cstdarg>
#include <cstdio>

void Trace(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
}

void TraceFlush() {
    std::fflush(stdout);
}
