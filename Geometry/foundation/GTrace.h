#pragma once
// The kernel's trace hook. Passes report progress and diagnostics here; by
// default the messages are discarded. A host or a test may install a sink to
// observe them. Tracing never changes what the kernel computes.

typedef void (*GTraceSink)(const char* message);

// printf-style; formats and forwards to the sink only when one is installed.
void GTrace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Installs `sink` (null removes it) and returns the previous one.
GTraceSink GSetTraceSink(GTraceSink sink);
