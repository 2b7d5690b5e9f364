// File changes below a directory, for the live preview: the list of changed
// files every backend fills and the program takes, and the two ways of
// finding changes a backend chooses from. The kernel's notifications
// (inotify) serve a desktop: a thread sleeps until the kernel tells, so an
// idle reader costs nothing. Polling serves the headless backend, whose
// tests decide when a look is taken, and any system without notifications.
//
// [SECTION] State
// [SECTION] The changed files
// [SECTION] Walking a tree
// [SECTION] Polling
// [SECTION] Kernel notifications
// [SECTION] Operations
#include "platform/backend.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
#define ZARN_HAVE_INOTIFY 1
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#else
#define ZARN_HAVE_INOTIFY 0
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// [SECTION] State ---------------------------------------------------------

namespace {

// Deep enough for any issue's folders; a bound all the same, since a tree
// may loop through symbolic links.
enum { MAX_DEPTH = 8, MAX_DIRECTORIES = 1024 };

struct ChangeList {
    std::mutex lock;
    std::vector<std::string> names; // oldest first, each once
    int noted = 0;                  // noted since the last post
};

ChangeList changes;

struct PollEntry {
    int64_t modified; // nanoseconds
    int64_t size;
    uint64_t inode;
};

struct PollState {
    int running = 0;
    std::string root;
    std::map<std::string, PollEntry> files; // by path below the root
};

PollState polling;

} // namespace

// [SECTION] The changed files --------------------------------------------

void PlatformNoteChangedFile(const char *name)
{
    if (!name || !*name)
        return;
    std::lock_guard<std::mutex> guard(changes.lock);
    if (std::find(changes.names.begin(), changes.names.end(), name) == changes.names.end())
        changes.names.push_back(name);
    changes.noted++;
}

void PlatformPostFileChanges()
{
    {
        std::lock_guard<std::mutex> guard(changes.lock);
        if (!changes.noted)
            return;
        changes.noted = 0;
    }
    PlatformQueueMessage(nullptr, WM_FILESCHANGED, 0, 0);
}

static void ForgetChanges()
{
    std::lock_guard<std::mutex> guard(changes.lock);
    changes.names.clear();
    changes.noted = 0;
}

// [SECTION] Walking a tree -----------------------------------------------

namespace {

// Hidden files and folders (an editor's swap files, a version-control
// store) are no part of an issue, and may be many and busy.
bool Hidden(const char *name)
{
    return name[0] == '.';
}

std::string Join(const std::string &directory, const char *name)
{
    return directory.empty() ? std::string(name) : directory + "/" + name;
}

// Calls visit(path below the root, stat) for every entry of the directory
// relative below root, and descends into its subdirectories (for which
// enter(path) is called first) down to MAX_DEPTH.
template <typename Visit, typename Enter>
void WalkTree(const std::string &root, const std::string &relative, int depth, int *directories, Visit visit,
              Enter enter)
{
    if (depth > MAX_DEPTH || *directories >= MAX_DIRECTORIES)
        return;
    (*directories)++;
    enter(relative);
    DIR *folder = opendir(relative.empty() ? root.c_str() : (root + "/" + relative).c_str());
    if (!folder)
        return;
    std::vector<std::string> subdirectories;
    while (dirent *entry = readdir(folder)) {
        if (Hidden(entry->d_name))
            continue;
        std::string path = Join(relative, entry->d_name);
        struct stat info;
        if (stat((root + "/" + path).c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode))
            subdirectories.push_back(path);
        else
            visit(path, info);
    }
    closedir(folder);
    for (const std::string &path : subdirectories)
        WalkTree(root, path, depth + 1, directories, visit, enter);
}

} // namespace

// [SECTION] Polling ------------------------------------------------------

namespace {

std::map<std::string, PollEntry> LookAtTree(const std::string &root)
{
    std::map<std::string, PollEntry> files;
    int directories = 0;
    WalkTree(
        root, "", 0, &directories,
        [&](const std::string &path, const struct stat &info) {
            files[path] = PollEntry{static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                                    static_cast<int64_t>(info.st_size), static_cast<uint64_t>(info.st_ino)};
        },
        [](const std::string &) {});
    return files;
}

} // namespace

int PlatformPollWatchStart(const char *path)
{
    PlatformPollWatchStop();
    polling.root = path;
    polling.files = LookAtTree(polling.root);
    polling.running = 1;
    return WATCH_STARTED;
}

void PlatformPollWatchStop()
{
    polling.running = 0;
    polling.files.clear();
}

int PlatformPollWatching()
{
    return polling.running;
}

int PlatformPollWatchLook()
{
    if (!polling.running)
        return 0;
    std::map<std::string, PollEntry> now = LookAtTree(polling.root);
    int noted = 0;
    for (const auto &file : now) {
        auto before = polling.files.find(file.first);
        if (before != polling.files.end() && before->second.modified == file.second.modified &&
            before->second.size == file.second.size && before->second.inode == file.second.inode)
            continue;
        PlatformNoteChangedFile(file.first.c_str());
        noted++;
    }
    for (const auto &file : polling.files)
        if (!now.count(file.first)) {
            PlatformNoteChangedFile(file.first.c_str());
            noted++;
        }
    polling.files = std::move(now);
    if (noted)
        PlatformPostFileChanges();
    return noted;
}

// [SECTION] Kernel notifications -----------------------------------------

#if ZARN_HAVE_INOTIFY

namespace {

// A batch ends when the tree has been quiet this long, or this long after
// it began, whichever comes first.
enum { QUIET_MS = 60, BATCH_LIMIT_MS = 200 };

const uint32_t kDirectoryEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_ONLYDIR;

struct InotifyState {
    int descriptor = -1;
    int stopPipe[2] = {-1, -1};
    std::thread thread;
    std::string root;
    std::map<int, std::string> directories; // watch descriptor -> path below the root ("" for the root)
    int directoryCount = 0;
};

InotifyState kernel;

// Watches the tree at relative (the thread's own once it runs); files found
// there are noted when noteFiles is set (a directory that appeared, whose
// files were made before it was watched).
void WatchTree(const std::string &relative, int noteFiles)
{
    WalkTree(
        kernel.root, relative, 0, &kernel.directoryCount,
        [&](const std::string &path, const struct stat &) {
            if (noteFiles)
                PlatformNoteChangedFile(path.c_str());
        },
        [](const std::string &path) {
            std::string full = path.empty() ? kernel.root : kernel.root + "/" + path;
            int watch = inotify_add_watch(kernel.descriptor, full.c_str(), kDirectoryEvents);
            if (watch >= 0)
                kernel.directories[watch] = path;
        });
}

// Reads what the kernel has; 0 when the stop pipe spoke or reading failed.
int ReadEvents()
{
    alignas(struct inotify_event) char buffer[16384];
    ssize_t length = read(kernel.descriptor, buffer, sizeof buffer);
    if (length <= 0)
        return errno == EAGAIN || errno == EINTR;
    for (char *at = buffer; at < buffer + length;) {
        const struct inotify_event *event = reinterpret_cast<const struct inotify_event *>(at);
        at += sizeof(struct inotify_event) + event->len;
        auto directory = kernel.directories.find(event->wd);
        if (event->mask & IN_IGNORED) {
            if (directory != kernel.directories.end())
                kernel.directories.erase(directory);
            continue;
        }
        if (directory == kernel.directories.end() || !event->len || Hidden(event->name))
            continue;
        std::string path = Join(directory->second, event->name);
        if (event->mask & IN_ISDIR) {
            // A folder made or moved in: its files are new to the reader.
            if (event->mask & (IN_CREATE | IN_MOVED_TO))
                WatchTree(path, 1);
            continue;
        }
        PlatformNoteChangedFile(path.c_str());
    }
    return 1;
}

// Waits for the descriptor or the stop pipe; -1 on stop, 1 when events wait, 0 on timeout.
int Wait(int timeoutMs)
{
    pollfd fds[2] = {{kernel.descriptor, POLLIN, 0}, {kernel.stopPipe[0], POLLIN, 0}};
    int ready = poll(fds, 2, timeoutMs);
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    if (fds[1].revents)
        return -1;
    return (fds[0].revents & POLLIN) ? 1 : 0;
}

void Run()
{
    for (;;) {
        int ready = Wait(-1);
        if (ready < 0)
            return;
        if (!ready)
            continue;
        // One batch: read until the tree is quiet, then post once.
        uint32_t begun = GetTickCount();
        while (ready > 0) {
            if (!ReadEvents())
                return;
            int left = BATCH_LIMIT_MS - static_cast<int>(GetTickCount() - begun);
            if (left <= 0)
                break;
            ready = Wait(left < QUIET_MS ? left : QUIET_MS);
            if (ready < 0)
                return;
        }
        PlatformPostFileChanges();
    }
}

void CloseKernel()
{
    auto closeOne = [](int &fd) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    };
    closeOne(kernel.descriptor);
    closeOne(kernel.stopPipe[0]);
    closeOne(kernel.stopPipe[1]);
    kernel.directories.clear();
    kernel.directoryCount = 0;
}

} // namespace

int PlatformInotifyWatchStart(const char *path)
{
    PlatformInotifyWatchStop();
    kernel.root = path;
    kernel.descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (kernel.descriptor < 0 || pipe2(kernel.stopPipe, O_CLOEXEC) != 0) {
        CloseKernel();
        return WATCH_FAILED;
    }
    WatchTree("", 0);
    int rootWatched = 0;
    for (const auto &directory : kernel.directories)
        rootWatched |= directory.second.empty();
    if (!rootWatched) {
        CloseKernel();
        return WATCH_FAILED;
    }
    kernel.thread = std::thread(Run);
    return WATCH_STARTED;
}

void PlatformInotifyWatchStop()
{
    if (kernel.thread.joinable()) {
        char stop = 1;
        ssize_t written = write(kernel.stopPipe[1], &stop, 1);
        (void)written;
        kernel.thread.join();
    }
    CloseKernel();
}

#else

int PlatformInotifyWatchStart(const char *path)
{
    (void)path;
    return WATCH_UNSUPPORTED;
}

void PlatformInotifyWatchStop()
{
}

#endif

// [SECTION] Operations ---------------------------------------------------

namespace {

const PlatformBackend *watchingBackend = nullptr;

} // namespace

int PlatformWatchDirectory(const char *path)
{
    PlatformStopWatching();
    const PlatformBackend *backend = PlatformBackendInUse();
    if (!backend->watchStart)
        return WATCH_UNSUPPORTED;
    char absolute[4096];
    if (!path || PlatformGetFileKind(path) != FILE_DIRECTORY ||
        !PlatformCanonicalPath(path, absolute, sizeof absolute))
        return WATCH_FAILED;
    int result = backend->watchStart(absolute);
    if (result == WATCH_STARTED)
        watchingBackend = backend;
    return result;
}

int PlatformTakeChangedFile(char *name, int size)
{
    std::lock_guard<std::mutex> guard(changes.lock);
    while (!changes.names.empty()) {
        std::string first = changes.names.front();
        changes.names.erase(changes.names.begin());
        if (name && size > 0 && first.size() < static_cast<size_t>(size)) {
            memcpy(name, first.c_str(), first.size() + 1);
            return 1;
        }
    }
    return 0;
}

void PlatformStopWatching()
{
    if (watchingBackend && watchingBackend->watchStop)
        watchingBackend->watchStop();
    watchingBackend = nullptr;
    ForgetChanges();
}
