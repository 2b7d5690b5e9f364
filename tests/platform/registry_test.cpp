// The settings file that stands for the registry: where it lives, how it is
// parsed, that values survive a round trip and that writing is atomic.
#include "platform/backend.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    fs::path dir;
    std::string file;

    void SetUp() override
    {
        PlatformSelect("headless");
        char pattern[] = "/tmp/zarn-registry-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        file = (dir / "zarn" / "settings").string();
        RegistrySetFilePath(file.c_str());
    }
    void TearDown() override
    {
        RegistrySetFilePath(nullptr);
        fs::remove_all(dir);
    }
    void Write(const std::string &text)
    {
        fs::create_directories(fs::path(file).parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    std::string Read()
    {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static LONG Query(HKEY key, const char *name, int32_t *value)
    {
        uint8_t data[4] = {0, 0, 0, 0};
        DWORD size = 4, type = 0;
        LONG result = RegQueryValueExA(key, name, nullptr, &type, data, &size);
        if (result == ERROR_SUCCESS) {
            EXPECT_EQ(type, REG_DWORD);
            EXPECT_EQ(size, 4u);
            *value = static_cast<int32_t>(data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24);
        }
        return result;
    }
    static LONG Set(HKEY key, const char *name, int32_t value)
    {
        uint8_t data[4];
        for (int i = 0; i < 4; i++)
            data[i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
        return RegSetValueExA(key, name, 0, REG_DWORD, data, 4);
    }
};

TEST_F(RegistryTest, MissingFileCannotBeOpenedButCanBeCreated)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zarn\\Zarn", 0, KEY_ALL_ACCESS, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zarn\\Zarn", 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, 1u);
    int32_t value = 7;
    EXPECT_EQ(Query(key, "bpp", &value), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, ValuesRoundTripAsDecimalLines)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zarn\\Zarn", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(Set(key, "Show setup", 1), ERROR_SUCCESS);
    EXPECT_EQ(Set(key, "bpp", 24), ERROR_SUCCESS);
    EXPECT_EQ(Set(key, "windowed", -1), ERROR_SUCCESS);
    EXPECT_EQ(Set(key, "bpp", 16), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Read(), "Show setup=1\nbpp=16\nwindowed=-1\n");

    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zarn\\Zarn", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    int32_t value = 0;
    EXPECT_EQ(Query(key, "Show setup", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(Query(key, "bpp", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 16);
    EXPECT_EQ(Query(key, "windowed", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(Query(key, "sound", &value), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryTest, ParsingSkipsWhatIsNotANameAndA32BitNumber)
{
    Write("# a comment\r\n"
          "Show setup=0\r\n"
          "bpp=32\n"
          "=5\n"
          "windowed=abc\n"
          "sound=4294967296\n"
          "bpp=-2147483648\n"
          "junk line\n"
          "big=4294967295\n"
          "tail=12 \n"
          "last=3");
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zarn\\Zarn", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    int32_t value = 99;
    EXPECT_EQ(Query(key, "Show setup", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Query(key, "bpp", &value), ERROR_SUCCESS); // the later line wins
    EXPECT_EQ(value, INT32_MIN);
    EXPECT_EQ(Query(key, "windowed", &value), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Query(key, "sound", &value), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Query(key, "big", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(Query(key, "tail", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 12);
    EXPECT_EQ(Query(key, "last", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 3);
    RegCloseKey(key);
}

TEST_F(RegistryTest, OverlongLineIsDroppedWhole)
{
    std::string name(2000, 'x');
    Write(name + "=1\nbpp=16\n");
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zarn\\Zarn", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    int32_t value = 0;
    EXPECT_EQ(Query(key, "bpp", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 16);
    EXPECT_EQ(Query(key, "1", &value), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryTest, QuerySizesFollowTheRules)
{
    Write("bpp=32\n");
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zarn\\Zarn", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "bpp", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    uint8_t small[2] = {0xAA, 0xAA};
    size = 2;
    EXPECT_EQ(RegQueryValueExA(key, "bpp", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(small[0], 0xAA); // nothing written into a buffer too small
    uint8_t five[5] = {0, 0, 0, 0, 0};
    EXPECT_NE(RegSetValueExA(key, "bpp", 0, REG_DWORD, five, 5), ERROR_SUCCESS);
    EXPECT_NE(RegSetValueExA(key, "a=b", 0, REG_DWORD, five, 4), ERROR_SUCCESS);
    EXPECT_NE(RegSetValueExA(key, "a\nb", 0, REG_DWORD, five, 4), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Read(), "bpp=32\n");
}

TEST_F(RegistryTest, WritingKeepsOtherValuesAndLeavesNoTemporaryFile)
{
    Write("other=5\nbpp=32\n");
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zarn\\Zarn", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    Write("other=6\nbpp=32\nadded=1\n"); // another run wrote meanwhile
    EXPECT_EQ(Set(key, "bpp", 16), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Read(), "other=6\nbpp=16\nadded=1\n");
    int files = 0;
    for (const auto &entry : fs::directory_iterator(fs::path(file).parent_path())) {
        (void)entry;
        files++;
    }
    EXPECT_EQ(files, 1);
}

TEST_F(RegistryTest, FailedWriteLeavesTheOldFileWhole)
{
    // The temporary file cannot be made: a name beside this one runs past
    // what a directory entry may hold (root may write anywhere, so no
    // permission would stop it).
    file = (dir / "zarn" / std::string(250, 's')).string();
    RegistrySetFilePath(file.c_str());
    Write("bpp=32\n");
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zarn\\Zarn", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_NE(Set(key, "bpp", 16), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Read(), "bpp=32\n");
}

TEST_F(RegistryTest, KeyThatCannotBeCreatedReportsFailure)
{
    // A file where the directory must go.
    std::ofstream((dir / "zarn").string()) << "x";
    HKEY key = nullptr;
    EXPECT_NE(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zarn\\Zarn", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(key, nullptr);
}

TEST(RegistryPath, FollowsXdgConfigHomeThenHome)
{
    RegistrySetFilePath(nullptr);
    setenv("XDG_CONFIG_HOME", "/x/config", 1);
    setenv("HOME", "/home/reader", 1);
    EXPECT_STREQ(RegistryFilePath(), "/x/config/zarn/settings");
    setenv("XDG_CONFIG_HOME", "relative", 1); // not absolute: ignored
    EXPECT_STREQ(RegistryFilePath(), "/home/reader/.config/zarn/settings");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_STREQ(RegistryFilePath(), "/home/reader/.config/zarn/settings");
    unsetenv("HOME");
    EXPECT_EQ(RegistryFilePath(), nullptr);
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zarn\\Zarn", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
}

} // namespace
