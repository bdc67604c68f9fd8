#include "Geometry/foundation/GTrace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {
std::atomic<GTraceSink> g_sink{nullptr};
thread_local GTraceCapture* t_capture = nullptr;
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
    if (t_capture)
        t_capture->lines.emplace_back(buffer);
    else
        sink(buffer);
}

GTraceSink GSetTraceSink(GTraceSink sink) { return g_sink.exchange(sink, std::memory_order_acq_rel); }

GTraceCapture::Scope::Scope(GTraceCapture& capture) : outer(t_capture) { t_capture = &capture; }

GTraceCapture::Scope::~Scope() { t_capture = outer; }

void GTraceCapture::Replay() const
{
    for (const std::string& line : lines) {
        if (t_capture)
            t_capture->lines.push_back(line);
        else if (GTraceSink sink = g_sink.load(std::memory_order_acquire))
            sink(line.c_str());
    }
}
