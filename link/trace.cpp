#include "link/trace.h"

#include <cstdarg>

namespace {
std::FILE* trace_copy = nullptr;
}

void Trace(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    if (trace_copy != nullptr) {
        va_list copy_arguments;
        va_copy(copy_arguments, arguments);
        std::vfprintf(trace_copy, format, copy_arguments);
        va_end(copy_arguments);
    }
    std::vprintf(format, arguments);
    va_end(arguments);
}

void TraceFlush() {
    if (trace_copy != nullptr)
        std::fflush(trace_copy);
    std::fflush(stdout);
}

void TraceCopyTo(std::FILE* copy) {
    trace_copy = copy;
}
