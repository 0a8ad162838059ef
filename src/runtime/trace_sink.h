// Diagnostic trace of the rooms below the program context (the vocabulary, the
// expression engine, the channel tables). Text is gathered into whole lines and handed
// to the sink the program installs (the output buffer's trace lines); until one is
// installed, lines go to standard error.
#pragma once
#include <string_view>

using TraceSink = void (*)(void *context, std::string_view line);

void setTraceSink(TraceSink sink, void *context);
// printf-style text; any complete lines in it are passed on, the rest waits for its newline.
void traceWritef(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
