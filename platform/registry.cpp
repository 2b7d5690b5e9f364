// The registry of 32-bit values, kept in a settings file:
// $XDG_CONFIG_HOME/zarn/settings (default ~/.config/zarn/settings), one
// "name=value" line per value with the value in decimal. The file is read
// when a key is opened and written whole after every change, through a
// temporary file renamed over it, so a crash never leaves half a file.
// A backend with a store of its own (the web one: the page's local storage)
// keeps each value there under its name, as the same decimal text.
#include "platform/backend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

struct RegistryKey {
    std::vector<std::pair<std::string, uint32_t>> values; // file order
    int backendStore;   // values live in the backend's store, read when asked
};

// The backend's own store for values, or null for the settings file.
static const PlatformBackend *ValueStore()
{
    const PlatformBackend *backend = PlatformBackendChosen();
    return backend->settingRead && backend->settingWrite ? backend : nullptr;
}

struct RegistryState {
    std::string overridePath;
    std::string path;
};

static RegistryState registry;

void RegistrySetFilePath(const char *path)
{
    registry.overridePath = path ? path : "";
}

const char *RegistryFilePath()
{
    if (!registry.overridePath.empty())
        registry.path = registry.overridePath;
    else {
        const char *config = getenv("XDG_CONFIG_HOME");
        if (config && config[0] == '/')
            registry.path = std::string(config) + "/zarn/settings";
        else {
            const char *home = getenv("HOME");
            if (!home || !*home)
                return nullptr;
            registry.path = std::string(home) + "/.config/zarn/settings";
        }
    }
    return registry.path.c_str();
}

// Parses one value: an optional sign and decimal digits that fit 32 bits
// (negative values wrap as the signed numbers they were stored from).
static int ParseValue(const char *text, uint32_t *value)
{
    const char *p = text;
    int negative = 0;
    if (*p == '-' || *p == '+')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return 0;
    uint64_t number = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        number = number * 10 + static_cast<uint64_t>(*p - '0');
        if (number > 0xFFFFFFFFull)
            return 0;
    }
    while (*p == ' ' || *p == '\t' || *p == '\r')
        p++;
    if (*p)
        return 0;
    if (negative && number > 0x80000000ull)
        return 0;
    *value = negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(number)) : static_cast<uint32_t>(number);
    return 1;
}

// Reads the settings file into key; 0 when it cannot be opened. Lines that
// are not "name=number" are skipped.
static int ReadFile(const char *path, RegistryKey *key)
{
    FILE *file = fopen(path, "r");
    if (!file)
        return 0;
    char line[1024];
    while (fgets(line, sizeof line, file)) {
        size_t length = strlen(line);
        int complete = length && line[length - 1] == '\n';
        if (!complete && !feof(file)) {
            // An overlong line is dropped whole, not read as several.
            int c;
            while ((c = fgetc(file)) != EOF && c != '\n') {
            }
            continue;
        }
        while (length && (line[length - 1] == '\n' || line[length - 1] == '\r'))
            line[--length] = 0;
        char *equals = strchr(line, '=');
        uint32_t value;
        if (!equals || equals == line || !ParseValue(equals + 1, &value))
            continue;
        std::string name(line, static_cast<size_t>(equals - line));
        int found = 0;
        for (auto &entry : key->values)
            if (entry.first == name) {
                entry.second = value;
                found = 1;
            }
        if (!found)
            key->values.emplace_back(name, value);
    }
    fclose(file);
    return 1;
}

static int WriteFile(const char *path, const RegistryKey *key)
{
    std::string text;
    for (const auto &entry : key->values)
        text += entry.first + "=" + std::to_string(static_cast<int32_t>(entry.second)) + "\n";
    return PlatformWriteFileAtomically(path, text.data(), text.size(), nullptr, 0);
}

LONG RegOpenKeyExA(HKEY root, const char *subKey, DWORD options, DWORD access, HKEY *key)
{
    (void)root;
    (void)options;
    (void)access;
    if (!key || !subKey)
        return ERROR_FILE_NOT_FOUND;
    *key = nullptr;
    if (ValueStore()) {
        *key = new RegistryKey{{}, 1};
        return ERROR_SUCCESS;
    }
    const char *path = RegistryFilePath();
    auto *opened = new RegistryKey();
    if (!path || !ReadFile(path, opened)) {
        delete opened;
        return ERROR_FILE_NOT_FOUND;
    }
    *key = opened;
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY root, const char *subKey, DWORD reserved, char *className, DWORD options,
                     DWORD access, void *security, HKEY *key, DWORD *disposition)
{
    (void)root;
    (void)reserved;
    (void)className;
    (void)options;
    (void)access;
    (void)security;
    if (!key || !subKey)
        return ERROR_FILE_NOT_FOUND;
    *key = nullptr;
    if (ValueStore()) {
        if (disposition)
            *disposition = 2; // the store is always there: an existing key
        *key = new RegistryKey{{}, 1};
        return ERROR_SUCCESS;
    }
    const char *path = RegistryFilePath();
    if (!path || !PlatformMakeDirectoriesFor(path))
        return 5; // access denied
    auto *opened = new RegistryKey();
    int existed = ReadFile(path, opened);
    if (disposition)
        *disposition = existed ? 2 : 1; // opened an existing key : created a new one
    *key = opened;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char *name, DWORD *reserved, DWORD *type, uint8_t *data, DWORD *size)
{
    (void)reserved;
    if (!key || !name)
        return ERROR_FILE_NOT_FOUND;
    const PlatformBackend *store = key->backendStore ? ValueStore() : nullptr;
    if (store) {
        // What the store holds is read as a file line's value would be.
        char text[64];
        uint32_t value;
        key->values.clear();
        if (store->settingRead(name, text, sizeof text) && ParseValue(text, &value))
            key->values.emplace_back(name, value);
    }
    for (const auto &entry : key->values) {
        if (entry.first != name)
            continue;
        if (type)
            *type = REG_DWORD;
        if (!data) {
            if (size)
                *size = 4;
            return ERROR_SUCCESS;
        }
        if (!size || *size < 4) {
            if (size)
                *size = 4;
            return ERROR_MORE_DATA;
        }
        for (int i = 0; i < 4; i++)
            data[i] = static_cast<uint8_t>(entry.second >> (8 * i));
        *size = 4;
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG RegSetValueExA(HKEY key, const char *name, DWORD reserved, DWORD type, const uint8_t *data, DWORD size)
{
    (void)reserved;
    (void)type;
    // The file holds 32-bit numbers only; names must stay one line before '='.
    if (!key || !name || !*name || strchr(name, '=') || strchr(name, '\n') || (!data && size) || size > 4)
        return 87; // invalid parameter
    uint32_t value = 0;
    for (DWORD i = 0; i < size; i++)
        value |= static_cast<uint32_t>(data[i]) << (8 * i);
    int found = 0;
    for (auto &entry : key->values)
        if (entry.first == name) {
            entry.second = value;
            found = 1;
        }
    if (!found)
        key->values.emplace_back(name, value);
    if (const PlatformBackend *store = key->backendStore ? ValueStore() : nullptr) {
        std::string text = std::to_string(static_cast<int32_t>(value));
        return store->settingWrite(name, text.c_str()) ? ERROR_SUCCESS : 5;
    }
    const char *path = RegistryFilePath();
    // Only this value changes in the file; whatever else it holds is kept.
    RegistryKey merged;
    if (path)
        ReadFile(path, &merged);
    found = 0;
    for (auto &old : merged.values)
        if (old.first == name) {
            old.second = value;
            found = 1;
        }
    if (!found)
        merged.values.emplace_back(name, value);
    if (!path || !WriteFile(path, &merged))
        return 5;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    if (!key)
        return 6; // invalid handle
    delete key;
    return ERROR_SUCCESS;
}
