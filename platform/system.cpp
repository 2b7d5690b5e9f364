// Backend-independent services: threads, sleeping, clocks, local time, CPUID,
// the command line, the working directory, the program's own folder, the
// user's folders, files written whole and standard output caught. The same
// on every backend, except that a backend may run threads and sleeping its
// own way (the web one, which has no threads to start).
#include "platform/backend.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct SystemState {
    std::string commandLine;
    std::string programDirectory;
    int programDirectoryKnown;
    std::string statePath;
    std::string picturesDirectory;
    unsigned temporarySerial; // names the temporary files of atomic writes
};

SystemState systemState;

void *ThreadStart(void *raw)
{
    auto *thread = static_cast<PlatformThread *>(raw);
    thread->procedure(thread->argument);
    return nullptr;
}

int StartSystemThread(PlatformThread *thread)
{
    auto *native = new pthread_t();
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    // The stack sizes asked for were made for another system's threads; never
    // go below what this one needs for the C library.
    size_t size = thread->stackSize < 256 * 1024 ? 256 * 1024 : thread->stackSize;
    pthread_attr_setstacksize(&attributes, size);
    int failed = pthread_create(native, &attributes, ThreadStart, thread);
    pthread_attr_destroy(&attributes);
    if (failed) {
        delete native;
        return 0;
    }
    thread->native = native;
    return 1;
}

} // namespace

void PlatformSetCommandLine(int argc, char **argv)
{
    systemState.commandLine.clear();
    for (int i = 0; i < argc; i++) {
        if (i)
            systemState.commandLine += ' ';
        systemState.commandLine += argv[i];
    }
}

const char *GetCommandLineA()
{
    return systemState.commandLine.c_str();
}

int PlatformSetWorkingDirectory(const char *path)
{
    return path && *path && chdir(path) == 0;
}

const char *PlatformProgramDirectory()
{
    if (!systemState.programDirectoryKnown) {
        systemState.programDirectoryKnown = 1;
        // The kernel's link names the executable itself, wherever it was
        // started from and through whatever symbolic links.
        std::string path(4096, '\0');
        ssize_t length = readlink("/proc/self/exe", &path[0], path.size());
        if (length > 0 && static_cast<size_t>(length) < path.size()) {
            path.resize(static_cast<size_t>(length));
            size_t slash = path.rfind('/');
            if (slash != std::string::npos)
                systemState.programDirectory = slash ? path.substr(0, slash) : "/";
        }
    }
    return systemState.programDirectory.c_str();
}

// [SECTION] Files and folders ---------------------------------------------

namespace {

// Copies text into out (size bytes); 0 when it does not fit.
int CopyOut(const std::string &text, char *out, int size)
{
    if (!out || size <= 0 || text.size() >= static_cast<size_t>(size))
        return 0;
    memcpy(out, text.c_str(), text.size() + 1);
    return 1;
}

int IsDirectory(const std::string &path)
{
    struct stat info;
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int FoldCase(int c)
{
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

int SameIgnoringCase(const char *a, const char *b)
{
    for (; *a && *b; a++, b++)
        if (FoldCase(static_cast<unsigned char>(*a)) != FoldCase(static_cast<unsigned char>(*b)))
            return 0;
    return *a == *b;
}

// An absolute directory named by an environment variable, or "".
std::string AbsoluteFromEnvironment(const char *variable)
{
    const char *value = getenv(variable);
    return value && value[0] == '/' ? std::string(value) : std::string();
}

std::string Home()
{
    const char *home = getenv("HOME");
    return home && *home ? std::string(home) : std::string();
}

// XDG_PICTURES_DIR="$HOME/Pictures" in the user-dirs file: the folder, or ""
// when the file does not name one.
std::string PicturesFromUserDirs()
{
    std::string config = AbsoluteFromEnvironment("XDG_CONFIG_HOME");
    if (config.empty() && !Home().empty())
        config = Home() + "/.config";
    if (config.empty())
        return "";
    FILE *file = fopen((config + "/user-dirs.dirs").c_str(), "r");
    if (!file)
        return "";
    static const char key[] = "XDG_PICTURES_DIR=";
    std::string found;
    char line[4096];
    while (fgets(line, sizeof line, file)) {
        const char *p = line;
        while (*p == ' ' || *p == '\t')
            p++;
        if (strncmp(p, key, sizeof key - 1) != 0)
            continue;
        p += sizeof key - 1;
        if (*p != '"')
            continue;
        const char *end = strchr(p + 1, '"');
        if (!end)
            continue;
        std::string value(p + 1, static_cast<size_t>(end - p - 1));
        // The file writes the home folder as $HOME; anything else must be
        // absolute. The home folder itself means the user turned it off.
        if (value == "$HOME")
            value.clear();
        else if (value.compare(0, 6, "$HOME/") == 0)
            value = Home().empty() ? std::string() : Home() + value.substr(5);
        found = !value.empty() && value[0] == '/' ? value : std::string();
    }
    fclose(file);
    return found;
}

} // namespace

int PlatformCanonicalPath(const char *path, char *out, int size)
{
    if (!path || !*path)
        return 0;
    char *resolved = realpath(path, nullptr);
    if (!resolved)
        return 0;
    int ok = CopyOut(resolved, out, size);
    free(resolved);
    return ok;
}

int PlatformFindIgnoringCase(const char *path, char *out, int size)
{
    if (!path || !*path)
        return 0;
    struct stat info;
    if (stat(path, &info) == 0)
        return CopyOut(path, out, size);
    std::string whole = path;
    size_t slash = whole.rfind('/');
    std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : whole.substr(0, slash);
    std::string name = slash == std::string::npos ? whole : whole.substr(slash + 1);
    if (name.empty())
        return 0;
    DIR *folder = opendir(directory.c_str());
    if (!folder)
        return 0;
    std::vector<std::string> matches;
    while (dirent *entry = readdir(folder))
        if (SameIgnoringCase(entry->d_name, name.c_str()))
            matches.push_back(entry->d_name);
    closedir(folder);
    if (matches.empty())
        return 0;
    // The directory's own order is the file system's whim; byte order is not.
    std::sort(matches.begin(), matches.end());
    std::string prefix = slash == std::string::npos ? "" : whole.substr(0, slash + 1);
    return CopyOut(prefix + matches[0], out, size);
}

int PlatformMakeDirectoriesFor(const char *path)
{
    std::string whole = path ? path : "";
    for (size_t slash = whole.find('/', 1); slash != std::string::npos; slash = whole.find('/', slash + 1)) {
        std::string directory = whole.substr(0, slash);
        struct stat info;
        if (mkdir(directory.c_str(), 0755) == 0)
            continue;
        if (errno != EEXIST)
            return 0;
        if (stat(directory.c_str(), &info) != 0)
            return 0;
        if (!S_ISDIR(info.st_mode)) {
            errno = ENOTDIR; // a file stands where the directory goes
            return 0;
        }
    }
    return 1;
}

namespace {

// Puts "step: the system's word for error" into reason (reasonSize bytes, cut
// to fit) and returns 0, the failure.
int Fail(char *reason, int reasonSize, const char *step, int error)
{
    if (reason && reasonSize > 0)
        snprintf(reason, static_cast<size_t>(reasonSize), "%s: %s", step, strerror(error));
    return 0;
}

} // namespace

int PlatformWriteFileAtomically(const char *path, const void *data, size_t size, char *reason, int reasonSize)
{
    if (!path || !*path || (!data && size))
        return Fail(reason, reasonSize, "no file to write", EINVAL);
    std::string target = path;
    if (!PlatformMakeDirectoriesFor(path))
        return Fail(reason, reasonSize, "cannot make the directories on the way", errno);
    // A name of our own, made exclusively: nothing that stands there already
    // (a link above all) is written through, and two writers never share one.
    // 0666 lets the umask decide, as for any new file.
    std::string temporary;
    int descriptor = -1;
    for (int attempt = 0; descriptor < 0 && attempt < 100; attempt++) {
        temporary = target + ".tmp." + std::to_string(static_cast<long>(getpid())) + "." +
                    std::to_string(__atomic_add_fetch(&systemState.temporarySerial, 1u, __ATOMIC_RELAXED));
        descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0 && errno != EEXIST)
            break;
    }
    if (descriptor < 0)
        return Fail(reason, reasonSize, "cannot create a temporary file beside it", errno);
    const char *bytes = static_cast<const char *>(data);
    size_t written = 0;
    int error = 0;
    const char *step = nullptr;
    while (written < size) {
        ssize_t n = write(descriptor, bytes + written, size - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            step = "write failed";
            break;
        }
        written += static_cast<size_t>(n);
    }
    if (!step && fsync(descriptor) != 0) {
        error = errno;
        step = "cannot flush it to the disk";
    }
    if (close(descriptor) != 0 && !step) {
        error = errno;
        step = "write failed";
    }
    if (!step && rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
        step = "cannot replace it";
    }
    if (step) {
        unlink(temporary.c_str());
        return Fail(reason, reasonSize, step, error);
    }
    return 1;
}

const char *PlatformStateFilePath(const char *name)
{
    std::string folder = AbsoluteFromEnvironment("XDG_STATE_HOME");
    if (folder.empty()) {
        if (Home().empty())
            return nullptr;
        folder = Home() + "/.local/state";
    }
    systemState.statePath = folder + "/zarn/" + (name ? name : "");
    return systemState.statePath.c_str();
}

const char *PlatformPicturesDirectory()
{
    std::string candidates[] = {AbsoluteFromEnvironment("XDG_PICTURES_DIR"), PicturesFromUserDirs(),
                                Home().empty() ? std::string() : Home() + "/Pictures"};
    systemState.picturesDirectory.clear();
    for (const std::string &candidate : candidates)
        if (IsDirectory(candidate)) {
            systemState.picturesDirectory = candidate;
            break;
        }
    return systemState.picturesDirectory.c_str();
}

// [SECTION] Output capture ------------------------------------------------

namespace {

// Standard output and standard error both point at the scratch file while a
// catch is on; the descriptors they had wait in savedOut and savedError.
struct OutputCatch {
    FILE *scratch;
    int savedOut, savedError;
    off_t taken;       // bytes of the scratch file already handed out
    std::string text;  // the last hand-out
};

OutputCatch outputCatch = {nullptr, -1, -1, 0, std::string()};

// Points target back at saved and closes saved; nothing for -1.
void PutBack(int saved, int target)
{
    if (saved < 0)
        return;
    while (dup2(saved, target) < 0 && errno == EINTR) {
    }
    close(saved);
}

void EndCatch()
{
    PutBack(outputCatch.savedOut, STDOUT_FILENO);
    PutBack(outputCatch.savedError, STDERR_FILENO);
    if (outputCatch.scratch)
        fclose(outputCatch.scratch);
    outputCatch.scratch = nullptr;
    outputCatch.savedOut = outputCatch.savedError = -1;
    outputCatch.taken = 0;
    outputCatch.text.clear();
}

} // namespace

int PlatformCatchOutput()
{
#if defined(__EMSCRIPTEN__)
    // The web build's descriptors 1 and 2 are the console's: pointed at a
    // file they take the writes and keep nothing, so there is no catch.
    const bool canCatch = false;
#else
    const bool canCatch = true;
#endif
    if (!canCatch || outputCatch.scratch)
        return 0;
    // What stdio holds back was written before the catch: it goes out first.
    fflush(stdout);
    fflush(stderr);
    outputCatch.scratch = tmpfile();
    if (!outputCatch.scratch)
        return 0;
    int scratch = fileno(outputCatch.scratch);
    outputCatch.savedOut = dup(STDOUT_FILENO);
    if (outputCatch.savedOut < 0 || dup2(scratch, STDOUT_FILENO) < 0) {
        EndCatch();
        return 0;
    }
    outputCatch.savedError = dup(STDERR_FILENO);
    if (outputCatch.savedError < 0 || dup2(scratch, STDERR_FILENO) < 0) {
        EndCatch();
        return 0;
    }
    return 1;
}

const char *PlatformCaughtOutput(size_t *length)
{
    outputCatch.text.clear();
    if (outputCatch.scratch) {
        fflush(stdout);
        fflush(stderr);
        // The scratch file's offset is shared with both descriptors, so it is
        // read at given places and its end left where writes go on.
        int scratch = fileno(outputCatch.scratch);
        off_t end = lseek(scratch, 0, SEEK_END);
        while (end > outputCatch.taken) {
            char buffer[4096];
            size_t want = static_cast<size_t>(std::min<off_t>(end - outputCatch.taken, sizeof buffer));
            ssize_t got = pread(scratch, buffer, want, outputCatch.taken);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            outputCatch.text.append(buffer, static_cast<size_t>(got));
            outputCatch.taken += got;
        }
    }
    if (length)
        *length = outputCatch.text.size();
    return outputCatch.text.c_str();
}

void PlatformReleaseOutput()
{
    if (!outputCatch.scratch)
        return;
    // Whatever stdio still holds was written while caught: it is dropped
    // with the scratch file rather than let out afterwards.
    fflush(stdout);
    fflush(stderr);
    EndCatch();
}

// [SECTION] Threads and time ----------------------------------------------

PlatformThread *CreateThread(uint32_t stackSize, THREADPROC procedure, void *argument)
{
    if (!procedure)
        return nullptr;
    const PlatformBackend *backend = PlatformBackendChosen();
    auto *thread = new PlatformThread{procedure, argument, stackSize, nullptr};
    if (!(backend->threadStart ? backend->threadStart(thread) : StartSystemThread(thread))) {
        delete thread;
        return nullptr;
    }
    return thread;
}

BOOL SetCurrentThreadPriority(int priority)
{
#if defined(SYS_gettid)
    // Linux threads have their own nice value; one step above normal is -1,
    // which an unprivileged user may be refused.
    int nice = priority == THREAD_PRIORITY_ABOVE_NORMAL ? -1 : 0;
    pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
    return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0;
#else
    // No thread priorities in WebAssembly.
    (void)priority;
    return FALSE;
#endif
}

void PlatformJoinThread(PlatformThread *thread)
{
    if (!thread)
        return;
    const PlatformBackend *backend = PlatformBackendChosen();
    if (backend->threadJoin) {
        backend->threadJoin(thread);
    } else {
        auto *native = static_cast<pthread_t *>(thread->native);
        pthread_join(*native, nullptr);
        delete native;
    }
    delete thread;
}

void Sleep(DWORD milliseconds)
{
    const PlatformBackend *backend = PlatformBackendChosen();
    if (backend->sleep) {
        backend->sleep(milliseconds);
        return;
    }
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) == -1 && errno == EINTR) {
    }
}

DWORD GetTickCount()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(now.tv_sec * 1000u + now.tv_nsec / 1000000);
}

void GetLocalTime(SYSTEMTIME *out)
{
    time_t now = time(nullptr);
    tm local;
    localtime_r(&now, &local);
    timespec precise;
    clock_gettime(CLOCK_REALTIME, &precise);
    out->wYear = static_cast<uint16_t>(local.tm_year + 1900);
    out->wMonth = static_cast<uint16_t>(local.tm_mon + 1);
    out->wDayOfWeek = static_cast<uint16_t>(local.tm_wday);
    out->wDay = static_cast<uint16_t>(local.tm_mday);
    out->wHour = static_cast<uint16_t>(local.tm_hour);
    out->wMinute = static_cast<uint16_t>(local.tm_min);
    out->wSecond = static_cast<uint16_t>(local.tm_sec);
    out->wMilliseconds = static_cast<uint16_t>(precise.tv_nsec / 1000000);
}

// WebAssembly has no CPUID. A build with 128-bit SIMD answers as a processor
// with MMX, SSE and SSE2 would (leaf 1 only), because that is what the SSE2
// paths compiled to SIMD need; nothing wider, so no AVX2.
#if defined(__wasm_simd128__)
#define PLATFORM_WASM_SIMD 1
#else
#define PLATFORM_WASM_SIMD 0
#endif

int PlatformHasCpuid()
{
#if defined(__x86_64__) || defined(__i386__)
    // __get_cpuid_max does the EFLAGS ID-bit test on 32-bit x86; on x86-64
    // CPUID always exists.
    return __get_cpuid_max(0, nullptr) != 0;
#else
    return PLATFORM_WASM_SIMD;
#endif
}

void PlatformCpuid(uint32_t leaf, uint32_t registers[4])
{
    registers[0] = registers[1] = registers[2] = registers[3] = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (!PlatformHasCpuid() || leaf > (uint32_t)__get_cpuid_max(0, nullptr))
        return;
    __cpuid(leaf, registers[0], registers[1], registers[2], registers[3]);
#elif PLATFORM_WASM_SIMD
    if (leaf == 0) {
        registers[0] = 1;
        // "WasmSIMD128 " in EBX, EDX, ECX order.
        memcpy(&registers[1], "Wasm", 4);
        memcpy(&registers[3], "SIMD", 4);
        memcpy(&registers[2], "128 ", 4);
    } else if (leaf == 1) {
        registers[3] = 1u << 23 | 1u << 25 | 1u << 26; // MMX, SSE, SSE2
    }
#else
    (void)leaf;
#endif
}

int PlatformHasAvx2()
{
#if defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!PlatformHasCpuid() || __get_cpuid_max(0, nullptr) < 7) return 0;
    __cpuid(1, a, b, c, d);
    const unsigned osxsave = 1u << 27, avx = 1u << 28;
    if ((c & (osxsave | avx)) != (osxsave | avx)) return 0;
    // The instruction set is of no use unless the system saves the upper
    // halves of the registers on a switch: XCR0 bits 1 (SSE) and 2 (AVX).
    uint32_t low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    (void)high;
    if ((low & 6) != 6) return 0;
    __cpuid_count(7, 0, a, b, c, d);
    return (b >> 5) & 1;
#else
    return 0;
#endif
}
