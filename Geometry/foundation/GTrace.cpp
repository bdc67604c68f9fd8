#include "Geometry/foundation/GTrace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {
std::atomic<GTraceSink> g_sink{nullptr};
}

void GTrace(const char* format, ...)
{
    GTraceSink sink = g_sink.load(std::memory_order_acquire);
    if (!sink || !format)
        return;
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    sink(buffer);
}

GTraceSink GSetTraceSink(GTraceSink sink) { return g_sink.exchange(sink, std::memory_order_acq_rel); }
