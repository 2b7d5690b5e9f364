// The reader's own command line. A desktop hands the reader an issue to open
// (a directory, or the zarn.dat a file manager was asked to open), and people
// expect --help and --version; those forms are recognised here, on the real
// argument vector, before anything starts. Every other line goes whole to
// ParseCommandLine, whose last-word rule is left as it is.
//
// [SECTION] Issue locations
// [SECTION] Reading the line
// [SECTION] Acting on it
// [SECTION] Texts
#include "app/options.h"

#include "app/watch.h"
#include "platform/platform.h"
#include "store/datafile.h"

#include <cstdarg>
#include <cstring>

#ifndef ZARN_VERSION
#error "ZARN_VERSION comes from the build (project version in CMakeLists.txt)"
#endif
#ifndef ZARN_DEMO_FROM_PROGRAM
#define ZARN_DEMO_FROM_PROGRAM "../share/zarn/demo"
#endif

namespace {

const char archiveName[] = "zarn.dat";

int StartsWithDashes(const char *word)
{
    return word[0] == '-' && word[1] == '-';
}

// Copies text into out (size bytes); 0 when it does not fit.
int CopyFits(char *out, int size, const char *text, size_t length)
{
    if (size <= 0 || length >= (size_t)size)
        return 0;
    memcpy(out, text, length);
    out[length] = 0;
    return 1;
}

// out = first + "/" + second; 0 when it does not fit.
int JoinPath(char *out, int size, const char *first, const char *second)
{
    size_t a = strlen(first), b = strlen(second);
    if (size <= 0 || a + 1 + b >= (size_t)size)
        return 0;
    memcpy(out, first, a);
    out[a] = '/';
    memcpy(out + a + 1, second, b + 1);
    return 1;
}

int IsRegularFile(const char *path)
{
    PlatformFileKind kind = PlatformGetFileKind(path);
    // Archives on some mounted media carry the execute bit; they are still files.
    return kind == FILE_REGULAR || kind == FILE_EXECUTABLE;
}

void Fail(ProgramOptions *options, int exitCode, const char *format, ...) __attribute__((format(printf, 3, 4)));

void Fail(ProgramOptions *options, int exitCode, const char *format, ...)
{
    options->action = PROGRAM_ERROR;
    options->exitCode = exitCode;
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(options->message, sizeof options->message, format, arguments);
    va_end(arguments);
}

} // namespace

// [SECTION] Issue locations -----------------------------------------------------

int IssueDirectory(const char *path, char *directory, int size)
{
    if (!path || !*path)
        return 0;
    if (PlatformGetFileKind(path) == FILE_DIRECTORY)
        return CopyFits(directory, size, path, strlen(path));
    const char *slash = strrchr(path, '/');
    const char *name = slash ? slash + 1 : path;
    if (!DataFileSameName(name, archiveName) || !IsRegularFile(path))
        return 0;
    if (!slash)
        return CopyFits(directory, size, ".", 1);
    if (slash == path)
        return CopyFits(directory, size, "/", 1);
    return CopyFits(directory, size, path, (size_t)(slash - path));
}

int FindDemoIssue(char *directory, int size)
{
    const char *program = PlatformProgramDirectory();
    // Installed: PREFIX/bin/zarn beside PREFIX/share/zarn/demo. In a build
    // tree the demo issue is built into the folder beside the program.
    const char *places[] = {ZARN_DEMO_FROM_PROGRAM, "demo"};
    char archive[PROGRAM_PATH_BUFFER];
    for (const char *place : places)
        if (JoinPath(directory, size, program, place) && JoinPath(archive, sizeof archive, directory, archiveName) &&
            IsRegularFile(archive))
            return 1;
    if (!JoinPath(directory, size, program, places[0]) && size > 0)
        directory[0] = 0;
    return 0;
}

// [SECTION] Reading the line ----------------------------------------------------

void ReadProgramOptions(int argc, char **argv, ProgramOptions *options)
{
    memset(options, 0, sizeof *options);
    options->action = PROGRAM_RUN;

    int optionsGiven = 0;
    for (int i = 1; i < argc; i++)
        optionsGiven |= StartsWithDashes(argv[i]);

    if (!optionsGiven) {
        // Only a single word naming an issue is ours; any other line keeps
        // the old meaning (its last word asks for the setup dialog).
        if (argc == 2 && IssueDirectory(argv[1], options->directory, sizeof options->directory))
            options->ownForm = 1;
        return;
    }

    options->ownForm = 1;
    // Options first, in order, so --help works whatever words stand beside it.
    for (int i = 1; i < argc; i++) {
        const char *word = argv[i];
        if (!StartsWithDashes(word))
            continue;
        if (!strcmp(word, "--help")) {
            options->action = PROGRAM_USAGE;
            return;
        }
        if (!strcmp(word, "--version")) {
            options->action = PROGRAM_VERSION;
            return;
        }
        if (!strcmp(word, "--setup"))
            options->setup = 1;
        else if (!strcmp(word, "--demo"))
            options->demo = 1;
        else if (!strcmp(word, "--watch"))
            options->watch = 1;
        else
            return Fail(options, 2, "unknown option '%s' (see 'zarn --help')", word);
    }

    int issues = 0;
    for (int i = 1; i < argc; i++) {
        const char *word = argv[i];
        if (StartsWithDashes(word))
            continue;
        if (issues || options->demo)
            return Fail(options, 2, "one issue at a time: '%s' is one too many (see 'zarn --help')", word);
        if (!IssueDirectory(word, options->directory, sizeof options->directory))
            return Fail(options, 2, "'%s' is neither a directory nor a file named zarn.dat", word);
        issues++;
    }

    if (options->demo && !FindDemoIssue(options->directory, sizeof options->directory))
        return Fail(options, 1, "the demo issue is not installed (no zarn.dat in '%s')", options->directory);
}

// [SECTION] Acting on it --------------------------------------------------------

int StartCommandLine(int argc, char **argv, int *exitCode)
{
    static ProgramOptions options;
    *exitCode = 0;
    if (argc < 1 || !argv[0]) {
        PlatformSetCommandLine(argc, argv);
        return 1;
    }
    ReadProgramOptions(argc, argv, &options);
    switch (options.action) {
    case PROGRAM_USAGE:
        fputs(ProgramUsage(), stdout);
        return 0;
    case PROGRAM_VERSION:
        printf("zarn %s\n", ProgramVersion());
        return 0;
    case PROGRAM_ERROR:
        fprintf(stderr, "zarn: %s\n", options.message);
        *exitCode = options.exitCode;
        return 0;
    case PROGRAM_RUN:
        break;
    }
    if (!options.ownForm) {
        PlatformSetCommandLine(argc, argv);
        return 1;
    }
    WatchRequest(options.watch);
    if (options.directory[0] && !PlatformSetWorkingDirectory(options.directory)) {
        fprintf(stderr, "zarn: cannot enter the directory '%s'\n", options.directory);
        *exitCode = 1;
        return 0;
    }
    // The start-up then reads the line as if the reader had been started in
    // the issue's directory: the program alone, or with the one word that
    // asks for the setup dialog.
    char setupWord[] = "--setup";
    char *line[] = {argv[0], setupWord};
    PlatformSetCommandLine(options.setup ? 2 : 1, line);
    return 1;
}

// [SECTION] Texts ---------------------------------------------------------------

const char *ProgramVersion()
{
    return ZARN_VERSION;
}

const char *ProgramUsage()
{
    return "Usage: zarn [DIR | PATH/zarn.dat]\n"
           "       zarn --demo\n"
           "       zarn --setup [DIR | PATH/zarn.dat]\n"
           "       zarn --watch [DIR | PATH/zarn.dat]\n"
           "       zarn --help | --version\n"
           "\n"
           "Reads an issue of a disk magazine: the directory that holds its archive\n"
           "zarn.dat, its music and its fonts. Without DIR, the issue in the current\n"
           "directory.\n"
           "\n"
           "Options:\n"
           "  DIR            open the issue in directory DIR\n"
           "  PATH/zarn.dat  open the issue whose archive this is (the name in any case)\n"
           "  --demo         open the demo issue installed with the program\n"
           "  --setup        show the setup dialog first (display, colours, sound)\n"
           "  --watch        live preview for authors: an article, picture, font,\n"
           "                 zarn.cfg or zarn.dat saved in the issue's directory is\n"
           "                 read again and shown at once (\"+ reloaded NAME\"); a\n"
           "                 problem is drawn on its page instead of ending the reader\n"
           "  --help         print this text and exit\n"
           "  --version      print the version and exit\n"
           "Any other word after the program's name also brings up the setup dialog.\n"
           "\n"
           "Keys in the menu:\n"
           "  Up, Down       choose a topic\n"
           "  Enter          open the topic\n"
           "  Esc            leave the magazine\n"
           "  F1             music volume: halves it; after the lowest step, full again\n"
           "  R              open the article and page read last in this issue\n"
           "Keys in an article:\n"
           "  Left, Right    previous or next page\n"
           "  Up, Down       previous or next article\n"
           "  Esc            back to the menu\n"
           "  X, F9          leave the magazine at once\n"
           "  F1             music volume, as in the menu\n"
           "  mouse          a click on a link opens it; pointing at one lights it up\n"
           "Keys in both:\n"
           "  /, Ctrl+F      search: type a word, Enter shows the next page with it\n"
           "                 (every topic in order, round to the start) and lights it;\n"
           "                 Enter again goes on, Esc closes the search line\n"
           "  H, ?           the list of keys; any key closes it\n"
           "  M              music off or on\n"
           "  F11, Alt+Enter full screen or a window (the stored choice stays)\n"
           "  F12            save the screen as zarn-DATE-TIME.png in the pictures folder\n"
           "Leaving plays a short 3D goodbye: a key starts its fade, a second ends it.\n"
           "\n"
           "Files:\n"
           "  $XDG_CONFIG_HOME/zarn/settings (~/.config/zarn/settings when unset)\n"
           "                 the choices of the setup dialog\n"
           "  $XDG_STATE_HOME/zarn/positions (~/.local/state/zarn/positions when unset)\n"
           "                 the page read last in each issue, for R\n"
           "  $XDG_PICTURES_DIR (else ~/Pictures, else the current directory)\n"
           "                 where F12 saves the screen\n"
           "\n"
           "Environment:\n"
           "  ZARN_PLATFORM  sdl (default) or headless (no window, no sound card)\n"
           "\n"
           "See zarn(1) for the whole story, zarn-tool(1) for making issues.\n";
}
