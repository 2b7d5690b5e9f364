// zarn-tool — shared declarations of the authors' tool. Each command lives in
// its own tools/*.cpp and registers itself with one ZARN_TOOL_COMMAND line, so
// commands are added without touching the dispatcher.
#pragma once

typedef int (*ToolCommandFunction)(int argc, char **argv);

struct ToolCommandRegistration {
    ToolCommandRegistration(const char *name, ToolCommandFunction function, const char *summary);
};

#define ZARN_TOOL_COMMAND(name, function, summary) \
    static ToolCommandRegistration toolCommand_##function(name, function, summary)

// Prints "zarn-tool: MESSAGE" on standard error; returns 1 (the error exit status).
int ToolFail(const char *format, ...) __attribute__((format(printf, 1, 2)));

// True when argv[1..] holds "--help" or "-h".
bool ToolWantsHelp(int argc, char **argv);
