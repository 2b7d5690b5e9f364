// DataFile: archives built byte by byte in a private directory, loose files
// that override members, damaged directories and members, and the clamping
// rules of the member operations.
#include "store/datafile.h"
#include "store/lzrw3.h"
#include "store/stackheap.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Member {
    std::string name;
    Bytes content;
    uint32_t method; // 0 or 3; anything else is written as is
    // Overrides for damaged directories (ignored when 0xFFFFFFFF).
    uint32_t offset = 0xFFFFFFFFu, packed = 0xFFFFFFFFu, unpacked = 0xFFFFFFFFu;
};

void Put32(Bytes &out, size_t at, uint32_t v)
{
    ASSERT_LE(at + 4, out.size());
    const uint8_t bytes[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    std::copy(bytes, bytes + 4, out.begin() + long(at));
}

// Header, member data, then the directory at the end of the file.
Bytes BuildArchive(const std::vector<Member> &members)
{
    Bytes out(16, 0);
    std::memcpy(out.data(), "ZARNTEST", 8);
    std::vector<uint32_t> offsets, packedSizes;
    for (const Member &m : members) {
        offsets.push_back(uint32_t(out.size()));
        Bytes stored = m.content;
        if (m.method == 3) {
            uint32_t length = 0;
            uint8_t *packed = Lzrw3Compress(m.content.data(), uint32_t(m.content.size()), &length);
            stored.assign(packed, packed + length);
            StackheapFree(packed);
        }
        packedSizes.push_back(uint32_t(stored.size()));
        out.insert(out.end(), stored.begin(), stored.end());
    }
    Put32(out, 8, uint32_t(out.size()));
    Put32(out, 12, uint32_t(members.size()));
    for (size_t i = 0; i < members.size(); i++) {
        const Member &m = members[i];
        size_t at = out.size();
        out.resize(at + 80, 0);
        Put32(out, at, m.offset != 0xFFFFFFFFu ? m.offset : offsets[i]);
        Put32(out, at + 4, m.method);
        Put32(out, at + 8, m.packed != 0xFFFFFFFFu ? m.packed : packedSizes[i]);
        Put32(out, at + 12, m.unpacked != 0xFFFFFFFFu ? m.unpacked : uint32_t(m.content.size()));
        std::memcpy(&out[at + 16], m.name.data(), std::min<size_t>(m.name.size(), 64));
    }
    return out;
}

Bytes Of(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

void WriteFile(const fs::path &path, const Bytes &bytes)
{
    fs::create_directories(path.parent_path().empty() ? fs::path(".") : path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), long(bytes.size()));
}

std::string ReadAll(DataFile *file)
{
    std::string out;
    char buffer[1000];
    int32_t got;
    while ((got = DataFileRead(buffer, 1, sizeof buffer, file)) > 0)
        out.append(buffer, size_t(got));
    return out;
}

class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ArchiveResetForTests();
        char pattern[] = "/tmp/zarn-datafile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        previous = fs::current_path();
        fs::current_path(dir);
    }
    void TearDown() override
    {
        ArchiveResetForTests();
        fs::current_path(previous);
        fs::remove_all(dir);
    }
    int Open(const std::vector<Member> &members)
    {
        WriteFile("zarn.dat", BuildArchive(members));
        return ArchiveSetName("zarn.dat");
    }
    fs::path dir, previous;
};

const std::string kConfig = "topic 1 News\narticle 1 news.aua\n";

} // namespace

TEST_F(DataFileTest, StoredAndCompressedMembersReadBack)
{
    std::string big;
    for (int i = 0; i < 200; i++)
        big += "line " + std::to_string(i) + " of a longer text member\n";
    ASSERT_EQ(Open({{"zarn.cfg", Of(kConfig), 0}, {"news.aua", Of(big), 3}, {"empty", {}, 0}}), 1);

    DataFile *cfg = DataFileOpen("zarn.cfg", "rb");
    ASSERT_NE(cfg, nullptr);
    EXPECT_EQ(cfg->kind, DATAFILE_MEMBER);
    EXPECT_EQ(cfg->size, int32_t(kConfig.size()));
    EXPECT_EQ(cfg->data[cfg->size], 0); // the 0 byte after the content
    EXPECT_EQ(ReadAll(cfg), kConfig);
    // The stream and offset lead to the stored bytes (the picture loader's path).
    char head[6] = {};
    ASSERT_EQ(std::fseek(cfg->stream, long(cfg->memberOffset), SEEK_SET), 0);
    ASSERT_EQ(std::fread(head, 1, 5, cfg->stream), 5u);
    EXPECT_STREQ(head, "topic");
    EXPECT_EQ(DataFileClose(cfg), 1);

    DataFile *news = DataFileOpen("news.aua", "rb");
    ASSERT_NE(news, nullptr);
    EXPECT_EQ(ReadAll(news), big);
    EXPECT_EQ(news->data[news->size], 0);
    DataFileClose(news);

    DataFile *empty = DataFileOpen("empty", "rb");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->size, 0);
    EXPECT_TRUE(DataFileEof(empty));
    DataFileClose(empty);
    EXPECT_EQ(DataFileClose(nullptr), 0);
}

TEST_F(DataFileTest, NamesIgnoreCaseAndModesOtherThanRbAreRefused)
{
    ASSERT_EQ(Open({{"zarn.cfg", Of(kConfig), 0}, {"Zarn.Cfg", Of("second"), 0}}), 1);
    DataFile *file = DataFileOpen("ZARN.CFG", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), kConfig); // the first match in directory order
    EXPECT_STREQ(file->name, "ZARN.CFG");
    DataFileClose(file);
    file = DataFileOpen("zarn.cfg", "RB");
    EXPECT_NE(file, nullptr);
    DataFileClose(file);

    EXPECT_EQ(DataFileOpen("zarn.cfg", "w+b"), nullptr);
    EXPECT_EQ(DataFileOpen("zarn.cfg", "r"), nullptr);
    // The refused write mode must not have created a loose file either.
    EXPECT_FALSE(fs::exists("zarn.cfg"));
    EXPECT_EQ(DataFileOpen("missing", "rb"), nullptr);
    // A name too long for any path is simply found nowhere.
    EXPECT_EQ(DataFileOpen(std::string(300, 'z').c_str(), "rb"), nullptr);
    // Only A-Z fold: 'a' + 0x80 style bytes do not match.
    EXPECT_EQ(DataFileOpen("zarn.cfG\xC9", "rb"), nullptr);
}

TEST_F(DataFileTest, LooseFilesOverrideMembersInPrefixOrder)
{
    ASSERT_EQ(Open({{"_full.jpg", Of("member"), 0}, {"ball.v3d", Of("member3d"), 3}}), 1);
    WriteFile("tex/_full.jpg", Of("from tex"));
    WriteFile("vtx/_full.jpg", Of("from vtx"));
    DataFile *file = DataFileOpen("_full.jpg", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->kind, DATAFILE_LOOSE);
    EXPECT_EQ(ReadAll(file), "from tex");
    EXPECT_EQ(DataFileClose(file), 0); // the stream's own close result
    WriteFile("_full.jpg", Of("from here"));
    file = DataFileOpen("_full.jpg", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "from here");
    EXPECT_EQ(file->memberOffset, 0u);
    EXPECT_EQ(file->data, nullptr);
    DataFileClose(file);

    // Every prefix is searched, the last one included.
    WriteFile("vtx/ball.v3d", Of("loose3d"));
    file = DataFileOpen("ball.v3d", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "loose3d");
    DataFileClose(file);
    WriteFile("hellenvc/ball.v3d", Of("hellenvc"));
    file = DataFileOpen("ball.v3d", "rb");
    EXPECT_EQ(ReadAll(file), "hellenvc");
    DataFileClose(file);

    // A directory of the requested name is not a loose file.
    fs::create_directories("misc/ball.v3d");
    fs::create_directories("ball.v3d");
    file = DataFileOpen("ball.v3d", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "hellenvc");
    DataFileClose(file);
}

TEST_F(DataFileTest, LooseFoldersAreTheDirectoryAndTheTwelvePrefixes)
{
    for (const char *path : {"first.txt", "tex/_full.jpg", "vtx/ball.v3d", "hellenvc/a.bmp", "Misc/pic.bmp"})
        EXPECT_EQ(DataFileLooseFolder(path), 1) << path;
    // Other folders, deeper ones and folders merely ending in a prefix's name.
    for (const char *path : {"drafts/first.txt", "tex/old/_full.jpg", "mytex/_full.jpg", "a/tex/_full.jpg", "/tex/x"})
        EXPECT_EQ(DataFileLooseFolder(path), 0) << path;
    EXPECT_EQ(DataFileLooseFolder(nullptr), 0);
}

// What a checker learns of the store: the directory as the reader sees it,
// and for every open the name, whether it was found and where.
struct OpenSeen {
    std::string name;
    int kind; // 0 = not found
    std::string loosePath;
};
std::vector<OpenSeen> opensSeen;

void RecordOpen(const char *name, const DataFile *file, const char *loosePath)
{
    opensSeen.push_back({name, file ? file->kind : 0, loosePath ? loosePath : "(none)"});
}

TEST_F(DataFileTest, MemberNamesAndTheOpenWatcher)
{
    EXPECT_EQ(ArchiveMemberCount(), 0); // no archive: no members, no failure
    ArchiveResetForTests();
    ASSERT_EQ(Open({{"zarn.cfg", Of(kConfig), 0}, {"Pic.BMP", Of("x"), 3}, {"ZARN.CFG", Of("hidden"), 0}}), 1);
    ASSERT_EQ(ArchiveMemberCount(), 3);
    EXPECT_STREQ(ArchiveMemberName(0), "zarn.cfg");
    EXPECT_STREQ(ArchiveMemberName(1), "Pic.BMP");
    EXPECT_STREQ(ArchiveMemberName(2), "ZARN.CFG");
    EXPECT_EQ(ArchiveMemberName(3), nullptr);
    EXPECT_EQ(ArchiveMemberName(-1), nullptr);

    WriteFile("tex/pic.bmp", Of("loose"));
    opensSeen.clear();
    DataFileWatchOpens(RecordOpen);
    DataFileClose(DataFileOpen("pic.bmp", "rb"));
    DataFileClose(DataFileOpen("PIC.BMP", "rb")); // the loose name is not folded: the member
    DataFileClose(DataFileOpen("absent", "rb"));
    DataFileClose(DataFileOpen("zarn.cfg", "w"));
    DataFileWatchOpens(nullptr);
    DataFileClose(DataFileOpen("zarn.cfg", "rb")); // no watcher any more
    ASSERT_EQ(opensSeen.size(), 4u);
    EXPECT_EQ(opensSeen[0].name, "pic.bmp");
    EXPECT_EQ(opensSeen[0].kind, DATAFILE_LOOSE);
    EXPECT_EQ(opensSeen[0].loosePath, "tex/pic.bmp");
    EXPECT_EQ(opensSeen[1].kind, DATAFILE_MEMBER);
    EXPECT_EQ(opensSeen[1].loosePath, "(none)");
    EXPECT_EQ(opensSeen[2].kind, 0);
    EXPECT_EQ(opensSeen[3].kind, 0); // a refused mode is not found either
}

TEST_F(DataFileTest, AReplacedArchiveIsReadAgainOnlyWhenReopened)
{
    ASSERT_EQ(Open({{"zarn.cfg", Of("old config"), 0}, {"a.txt", Of("first"), 3}}), 1);
    // Written beside it and renamed into place, as the packer does: the open
    // stream still reads the old file until the archive is reopened.
    WriteFile("zarn.dat.new", BuildArchive({{"b.txt", Of("added"), 0}, {"zarn.cfg", Of("new config"), 3}}));
    fs::rename("zarn.dat.new", "zarn.dat");
    DataFile *old = DataFileOpen("zarn.cfg", "rb");
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(ReadAll(old), "old config");
    DataFileClose(old);

    EXPECT_EQ(ArchiveReopen(), 1);
    ASSERT_EQ(ArchiveMemberCount(), 2);
    EXPECT_STREQ(ArchiveMemberName(0), "b.txt");
    DataFile *fresh = DataFileOpen("zarn.cfg", "rb");
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(ReadAll(fresh), "new config");
    DataFileClose(fresh);
    EXPECT_EQ(DataFileOpen("a.txt", "rb"), nullptr);

    // Gone or spoilt, there is no archive; loose files still work.
    fs::remove("zarn.dat");
    WriteFile("loose.txt", Of("loose"));
    EXPECT_EQ(ArchiveReopen(), 0);
    EXPECT_EQ(ArchiveMemberCount(), 0);
    EXPECT_EQ(DataFileOpen("b.txt", "rb"), nullptr);
    DataFile *loose = DataFileOpen("loose.txt", "rb");
    ASSERT_NE(loose, nullptr);
    DataFileClose(loose);
    WriteFile("zarn.dat", Of("not an archive"));
    EXPECT_EQ(ArchiveReopen(), 0);
}

TEST_F(DataFileTest, NoArchiveMeansOnlyLooseFiles)
{
    EXPECT_EQ(ArchiveSetName("zarn.dat"), 0);
    EXPECT_EQ(DataFileOpen("zarn.cfg", "rb"), nullptr);
    WriteFile("zarn.cfg", Of(kConfig));
    DataFile *file = DataFileOpen("zarn.cfg", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), kConfig);
    DataFileClose(file);
    // The failed attempt is not retried once an archive appears.
    WriteFile("zarn.dat", BuildArchive({{"late", Of("x"), 0}}));
    EXPECT_EQ(DataFileOpen("late", "rb"), nullptr);
}

TEST_F(DataFileTest, ArchiveNamedInAnotherCaseIsFoundWhenTheExactNameIsMissing)
{
    WriteFile("ZARN.DAT", BuildArchive({{"a.txt", Of("upper"), 0}}));
    ASSERT_EQ(ArchiveSetName("zarn.dat"), 1);
    DataFile *file = DataFileOpen("a.txt", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "upper");
    DataFileClose(file);

    // Among several such names the first in byte order is read, and the
    // exact name whenever it is there.
    ArchiveResetForTests();
    WriteFile("Zarn.dat", BuildArchive({{"a.txt", Of("mixed"), 0}}));
    ASSERT_EQ(ArchiveSetName("zarn.dat"), 1);
    file = DataFileOpen("a.txt", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "upper");
    DataFileClose(file);
    ArchiveResetForTests();
    WriteFile("zarn.dat", BuildArchive({{"a.txt", Of("exact"), 0}}));
    ASSERT_EQ(ArchiveSetName("zarn.dat"), 1);
    file = DataFileOpen("a.txt", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "exact");
    DataFileClose(file);

    // A directory of that name is no archive; a longer name is another name.
    ArchiveResetForTests();
    fs::remove("zarn.dat");
    fs::remove("ZARN.DAT");
    fs::remove("Zarn.dat");
    fs::create_directories("ZARN.DAT");
    WriteFile("ZARN.DAT.old", BuildArchive({{"a.txt", Of("old"), 0}}));
    EXPECT_EQ(ArchiveSetName("zarn.dat"), 0);
}

TEST_F(DataFileTest, DefaultNameIsUsedWhenNoneWasSet)
{
    WriteFile("data.cr", BuildArchive({{"a.txt", Of("alpha"), 0}}));
    DataFile *file = DataFileOpen("A.TXT", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "alpha");
    DataFileClose(file);
}

TEST_F(DataFileTest, DamagedDirectoriesMakeTheArchiveAbsent)
{
    Bytes good = BuildArchive({{"a", Of("alpha"), 0}});
    struct Case {
        const char *what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"short header", Bytes(good.begin(), good.begin() + 10)});
    Bytes cut = good;
    cut.resize(cut.size() - 1);
    cases.push_back({"directory cut short", cut});
    Bytes beyond = good;
    Put32(beyond, 8, uint32_t(good.size()));
    cases.push_back({"directory beyond the end", beyond});
    Bytes wrapped = good;
    Put32(wrapped, 8, 0xFFFFFFF0u);
    cases.push_back({"directory offset near 4 GB", wrapped});
    Bytes negative = good;
    Put32(negative, 12, 0x80000000u);
    cases.push_back({"negative count", negative});
    Bytes huge = good;
    Put32(huge, 12, 0x7FFFFFFFu);
    cases.push_back({"count that overflows the allocation", huge});
    Bytes many = good;
    Put32(many, 12, 2);
    cases.push_back({"count past the end", many});
    for (const Case &c : cases) {
        ArchiveResetForTests();
        WriteFile("zarn.dat", c.bytes);
        EXPECT_EQ(ArchiveSetName("zarn.dat"), 0) << c.what;
        EXPECT_EQ(DataFileOpen("a", "rb"), nullptr) << c.what;
    }
    ArchiveResetForTests();
    WriteFile("zarn.dat", good);
    EXPECT_EQ(ArchiveSetName("zarn.dat"), 1);
}

TEST_F(DataFileTest, DamagedMembersCannotBeOpened)
{
    Bytes content = Of(std::string(3000, 'q') + "tail");
    std::vector<Member> members = {
        {"good", Of("fine"), 0},
        {"method7", Of("abc"), 7},
        {"wrongsize", content, 3},
        {"pastend", Of("abc"), 0},
        {"packedpastend", content, 3},
        {"storedhuge", Of("abc"), 0},
        {"noname-but-long-name-that-runs-for-sixty-three-characters", Of("long"), 0},
    };
    members[2].unpacked = uint32_t(content.size() + 1);
    members[3].offset = 0x7FFFFF00u;
    members[4].packed = 0x10000000u;
    members[5].unpacked = 0xFFFFFFFFu - 1;
    ASSERT_EQ(Open(members), 1);
    for (const char *name : {"method7", "wrongsize", "pastend", "packedpastend", "storedhuge"})
        EXPECT_EQ(DataFileOpen(name, "rb"), nullptr) << name;
    DataFile *file = DataFileOpen("good", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "fine");
    DataFileClose(file);
    file = DataFileOpen("NONAME-BUT-LONG-NAME-THAT-RUNS-FOR-SIXTY-THREE-CHARACTERS", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::strlen(file->name), 55u); // the record keeps at most 55 characters
    DataFileClose(file);
}

TEST_F(DataFileTest, CorruptCompressedMemberIsRefused)
{
    Bytes archive = BuildArchive({{"c", Of(std::string(2000, 'z') + "end"), 3}});
    // Damage the block's first copy item so it runs past the expected size.
    uint32_t offset = uint32_t(archive[archive.size() - 80]) | uint32_t(archive[archive.size() - 79]) << 8;
    archive[offset + 4] = 0xFF;
    archive[offset + 5] = 0xFF;
    for (size_t i = offset + 6; i < offset + 40; i++)
        archive[i] = 0x0F;
    WriteFile("zarn.dat", archive);
    ASSERT_EQ(ArchiveSetName("zarn.dat"), 1);
    EXPECT_EQ(DataFileOpen("c", "rb"), nullptr);
}

TEST_F(DataFileTest, MemberSeekTellAndEofClamp)
{
    ASSERT_EQ(Open({{"ten", Of("0123456789"), 0}, {"empty", {}, 0}}), 1);
    DataFile *f = DataFileOpen("ten", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(DataFileSeek(f, 0, 2), 1);
    EXPECT_EQ(DataFileTell(f), 10);
    EXPECT_TRUE(DataFileEof(f));
    EXPECT_EQ(DataFileGetc(f), 0); // a member's end value
    EXPECT_EQ(DataFileSeek(f, 10, 0), 1);
    EXPECT_EQ(DataFileTell(f), 9); // on the last byte
    EXPECT_FALSE(DataFileEof(f));
    EXPECT_EQ(DataFileGetc(f), '9');
    EXPECT_EQ(DataFileSeek(f, -5, 0), 1);
    EXPECT_EQ(DataFileTell(f), 0);
    EXPECT_EQ(DataFileSeek(f, 4, 1), 1);
    EXPECT_EQ(DataFileSeek(f, 3, 1), 1);
    EXPECT_EQ(DataFileTell(f), 7);
    EXPECT_EQ(DataFileSeek(f, 100, 1), 1);
    EXPECT_EQ(DataFileTell(f), 9);
    EXPECT_EQ(DataFileSeek(f, -100, 1), 1);
    EXPECT_EQ(DataFileTell(f), 0);
    EXPECT_EQ(DataFileSeek(f, INT32_MAX, 1), 1);
    EXPECT_EQ(DataFileTell(f), 9);
    EXPECT_EQ(DataFileSeek(f, 5, 2), 1);
    EXPECT_EQ(DataFileTell(f), 10);
    EXPECT_EQ(DataFileSeek(f, -3, 2), 1);
    EXPECT_EQ(DataFileTell(f), 7);
    EXPECT_EQ(DataFileSeek(f, -30, 2), 1);
    EXPECT_EQ(DataFileTell(f), 0);
    EXPECT_EQ(DataFileSeek(f, 0, 3), 0);
    EXPECT_EQ(DataFileSeek(f, 0, -1), 0);
    EXPECT_EQ(DataFileTell(f), 0);
    DataFileClose(f);

    DataFile *e = DataFileOpen("empty", "rb");
    ASSERT_NE(e, nullptr);
    for (int origin = 0; origin < 3; origin++) {
        EXPECT_EQ(DataFileSeek(e, 5, origin), 1);
        EXPECT_EQ(DataFileTell(e), 0) << origin;
    }
    EXPECT_EQ(DataFileGetc(e), 0);
    DataFileClose(e);
}

TEST_F(DataFileTest, MemberReadCountsWholeItems)
{
    ASSERT_EQ(Open({{"m", Of("abcdefghijklmn"), 0}}), 1);
    DataFile *f = DataFileOpen("m", "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(DataFileSeek(f, 4, 0), 1);
    char buffer[32] = {};
    EXPECT_EQ(DataFileRead(buffer, 4, 3, f), 2); // 10 bytes left: copied, 2 whole items
    EXPECT_STREQ(buffer, "efghijklmn");
    EXPECT_TRUE(DataFileEof(f));
    EXPECT_EQ(DataFileRead(buffer, 1, 1, f), 0);
    DataFileSeek(f, 0, 0);
    // A byte count that overflows 32 bits still clamps to what is left.
    EXPECT_EQ(DataFileRead(buffer, 0x10000, 0x10000, f), 0);
    EXPECT_EQ(DataFileTell(f), 14);
    DataFileSeek(f, 0, 0);
    EXPECT_EQ(DataFileRead(buffer, 0, 5, f), 0);
    EXPECT_EQ(DataFileRead(buffer, 2, -1, f), 0);
    EXPECT_EQ(DataFileTell(f), 0);
    DataFileClose(f);
}

TEST_F(DataFileTest, MemberScanTakesOneFieldAtATime)
{
    ASSERT_EQ(Open({{"cfg", Of("  topic\t1 0x1F\n010 averyveryverylongword last"), 0}}), 1);
    DataFile *f = DataFileOpen("cfg", "rb");
    ASSERT_NE(f, nullptr);
    char word[64];
    int number = -1;
    EXPECT_EQ(DataFileScan(f, "%63s", word), 1);
    EXPECT_STREQ(word, "topic");
    EXPECT_EQ(DataFileTell(f), 7);
    EXPECT_EQ(DataFileScan(f, "%i", &number), 1);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(DataFileScan(f, "%i", &number), 1);
    EXPECT_EQ(number, 0x1F);
    EXPECT_EQ(DataFileScan(f, "%i", &number), 1);
    EXPECT_EQ(number, 8);
    char small[8];
    EXPECT_EQ(DataFileScan(f, "%7s", small), 1);
    EXPECT_STREQ(small, "averyve"); // the width limits the copy, the whole word is passed
    EXPECT_EQ(DataFileScan(f, "%i", &number), 0); // "last" is no number, but is consumed
    EXPECT_TRUE(DataFileEof(f));
    EXPECT_EQ(DataFileScan(f, "%63s", word), EOF);
    EXPECT_EQ(DataFileTell(f), f->size);
    // The scan leaves the member's bytes as they were.
    EXPECT_EQ(std::string(reinterpret_cast<char *>(f->data), size_t(f->size)),
              "  topic\t1 0x1F\n010 averyveryverylongword last");
    DataFileClose(f);
}

TEST_F(DataFileTest, LooseFileOperationsUseTheStream)
{
    WriteFile("loose.txt", Of("word 42\nxyz"));
    DataFile *f = DataFileOpen("loose.txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->size, 0);
    char word[16];
    int number = 0;
    EXPECT_EQ(DataFileScan(f, "%15s", word), 1);
    EXPECT_STREQ(word, "word");
    EXPECT_EQ(DataFileScan(f, "%i", &number), 1);
    EXPECT_EQ(number, 42);
    EXPECT_EQ(DataFileSeek(f, 0, 2), 1);
    EXPECT_EQ(DataFileTell(f), 11);
    EXPECT_EQ(DataFileGetc(f), -1); // a loose file's end value
    EXPECT_TRUE(DataFileEof(f));
    EXPECT_EQ(DataFileSeek(f, -3, 1), 1);
    EXPECT_EQ(DataFileGetc(f), 'x');
    EXPECT_EQ(DataFileSeek(f, -100, 0), 0); // the stream's own failure
    EXPECT_EQ(DataFileSeek(f, 0, 5), 0);
    EXPECT_EQ(DataFileSeek(f, 0, 0), 1);
    char buffer[16] = {};
    EXPECT_EQ(DataFileRead(buffer, 4, 4, f), 2);
    EXPECT_EQ(std::string(buffer, 11), "word 42\nxyz");
    EXPECT_EQ(DataFileClose(f), 0);
}
