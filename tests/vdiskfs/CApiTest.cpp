// The C functions as the program calls them, on image files.
#include "FatTime.h"
#include "VDiskTestSupport.h"
#include "VexoVDisk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <thread>

namespace vexo
{
namespace
{

class CApi : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DestoryFileSystem();
        m_image = m_dir.file("vdisk.dat");
        SetVdiskFile(m_image.c_str());
        ASSERT_EQ(FormatFileSystem(), 0);
        ASSERT_EQ(InitFileSystem(), 0);
    }
    void TearDown() override
    {
        DestoryFileSystem();
        SetVdiskFile(nullptr);
    }

    test::TempDir m_dir;
    std::string m_image;
};

TEST_F(CApi, FillsThe44ByteRecord)
{
    static_assert(sizeof(VDiskFindRecord) == 44);
    const std::string name = "seventeen-bytes-x";
    ASSERT_TRUE(test::apiPut(name, std::string(70000, 'r')));
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int64_t wall = FatTime::fromSeconds(int64_t(timegm(&local))).toSeconds();

    VDiskFindRecord r;
    std::memset(&r, 0xAA, sizeof r);
    ASSERT_EQ(FindFirst(&r, OpenFindFile("/")), 0);
    const auto *b = reinterpret_cast<const uint8_t *>(&r);
    EXPECT_EQ(std::string(r.name, 17), name) << "17 bytes, no NUL";
    for (int i = 17; i < 28; ++i)
        EXPECT_EQ(b[i], 0) << i;
    const int64_t time = int32_t(b[28] | b[29] << 8 | b[30] << 16 | uint32_t(b[31]) << 24);
    EXPECT_NEAR(double(time), double(wall), 4.0) << "local wall clock, no zone applied";
    EXPECT_EQ(b[32] | b[33] << 8 | b[34] << 16 | b[35] << 24, 70000);
    for (int i = 36; i < 44; ++i)
        EXPECT_EQ(b[i], 0) << i;
    ASSERT_TRUE(test::apiPut("a.txt", "x"));
    int search = OpenFindFile("/");
    ASSERT_EQ(FindFirst(&r, search), 0);
    ASSERT_EQ(FindNext(&r, search), 0);
    EXPECT_STREQ(r.name, "a.txt") << "NUL-terminated when shorter";
    EXPECT_EQ(FindNext(&r, search), -1);
    EXPECT_EQ(FindNext(&r, search), -1);
    ASSERT_EQ(FindFirst(&r, search), 0) << "FindFirst starts over";
}

TEST_F(CApi, EveryCallFailsCleanlyWithNothingMounted)
{
    DestoryFileSystem();
    DestoryFileSystem();
    VDiskFindRecord r;
    char buffer[8];
    EXPECT_EQ(OpenFindFile("/"), 0);
    EXPECT_EQ(FindFirst(&r, 1), -1);
    EXPECT_EQ(FindNext(&r, 1), -1);
    EXPECT_EQ(zfopen("a.txt", "w+"), 0);
    EXPECT_EQ(zfopen("a.txt", "r"), 0);
    EXPECT_EQ(zfread(buffer, 1, 8, 1), -1);
    EXPECT_EQ(zfwrite(buffer, 1, 8, 1), -1);
    EXPECT_EQ(zfclose(1), -1);
    EXPECT_EQ(zflen("a.txt"), -1);
    EXPECT_EQ(zffind("a.txt"), 0);
    EXPECT_EQ(zfdelete("a.txt"), 0);
    EXPECT_EQ(zrename("a.txt", "b.txt"), 0);
    EXPECT_EQ(zcheck(), -1);
    SetVdiskFile(nullptr);
    EXPECT_NE(InitFileSystem(), 0);
    EXPECT_NE(FormatFileSystem(), 0) << "no image named";
    SetVdiskFile(m_dir.file("missing/vdisk.dat").c_str());
    EXPECT_NE(InitFileSystem(), 0);
    EXPECT_NE(FormatFileSystem(), 0);
    // Mounted, but handed nonsense.
    SetVdiskFile(m_image.c_str());
    ASSERT_EQ(InitFileSystem(), 0);
    EXPECT_EQ(OpenFindFile("/sub"), 0);
    EXPECT_EQ(OpenFindFile(nullptr), 0);
    EXPECT_EQ(FindFirst(nullptr, OpenFindFile("/")), -1);
    EXPECT_EQ(FindFirst(&r, 999999), -1);
    EXPECT_EQ(zfopen("a.txt", "a"), 0);
    EXPECT_EQ(zfopen(nullptr, "w+"), 0);
    int h = zfopen("a.txt", "w+");
    ASSERT_NE(h, 0);
    EXPECT_EQ(zfread(buffer, 1, 8, h), -1) << "a handle opened for writing";
    EXPECT_EQ(zfwrite(nullptr, 1, 8, h), -1);
    EXPECT_EQ(zfwrite(buffer, -1, 1, h), -1);
    EXPECT_EQ(zfwrite(buffer, 65536, 65536, h), -1);
    EXPECT_EQ(zfclose(h), -1) << "its earlier failure is reported";
    EXPECT_EQ(zfclose(h), -1) << "closed once only";
    EXPECT_EQ(zffind("a.txt"), 0);
}

TEST_F(CApi, FormatsInPlaceOrCreatesAndStaysMounted)
{
    struct stat st {
    };
    ASSERT_EQ(::stat(m_image.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 16 << 20) << "a new image is 16 MiB";
    ASSERT_TRUE(test::apiPut("a.txt", "x"));
    ASSERT_EQ(FormatFileSystem(), 0);
    EXPECT_TRUE(test::apiList().empty()) << "still mounted, now empty";
    EXPECT_TRUE(test::apiPut("b.txt", "y"));
    EXPECT_EQ(zcheck(), 0);
    // Garbage in the first FAT copy still mounts; the quick check counts it.
    DestoryFileSystem();
    std::string image = test::readLocal(m_image);
    const auto word = [&](size_t at) {
        return size_t(uint8_t(image[at])) | size_t(uint8_t(image[at + 1])) << 8;
    };
    image.replace(word(14) * word(11) + 64, 16, std::string(16, '\x37'));
    test::writeLocal(m_image, image);
    ASSERT_EQ(InitFileSystem(), 0);
    EXPECT_GT(zcheck(), 0);

    const std::string other = m_dir.file("other.img");
    test::writeLocal(other, std::string(3u << 20, '\x5A'));
    SetVdiskFile(other.c_str());
    EXPECT_NE(InitFileSystem(), 0) << "not a FAT image";
    ASSERT_EQ(FormatFileSystem(), 0);
    ASSERT_EQ(::stat(other.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 3 << 20) << "size kept";
    ASSERT_EQ(InitFileSystem(), 0);
    EXPECT_TRUE(test::apiList().empty());

    const std::string tiny = m_dir.file("tiny.img");
    test::writeLocal(tiny, std::string(10000, 'q'));
    SetVdiskFile(tiny.c_str());
    EXPECT_NE(FormatFileSystem(), 0) << "too small";
    EXPECT_EQ(test::readLocal(tiny), std::string(10000, 'q'));
}

TEST_F(CApi, CopiesInAndOutAndReplacesOnlyAtClose)
{
    std::mt19937 rng(3);
    for (size_t length : {0, 1023, 1024, 1025, 2048, 100000}) {
        std::string name = "len" + std::to_string(length);
        std::string data = test::randomBytes(rng, length);
        ASSERT_TRUE(test::apiPut(name, data)) << name;
        EXPECT_EQ(zflen(name.c_str()), int(length));
        EXPECT_TRUE(test::apiGet(name) == data) << name;
    }
    ASSERT_TRUE(test::apiPut("Report.doc", "first version"));
    int w = zfopen("REPORT.DOC", "w+");
    ASSERT_NE(w, 0);
    EXPECT_EQ(zfopen("report.doc", "w+"), 0) << "one writer per name";
    ASSERT_EQ(zfwrite("second", 6, 1, w), 6);
    EXPECT_EQ(test::apiGet("report.doc"), "first version") << "old contents until zfclose";
    ASSERT_EQ(zfclose(w), 0);
    EXPECT_EQ(test::apiGet("report.doc"), "second");
    EXPECT_EQ(zffind("REPORT.DOC"), 1);
    EXPECT_EQ(zfdelete("report.DOC"), 1);
    EXPECT_EQ(zfdelete("report.doc"), 0);
    EXPECT_EQ(zffind("report.doc"), 0);

    ASSERT_TRUE(test::apiPut("\xB2\xE2\xCA\xD4\xCE\xC4\xBC\xFE.txt", "gbk")); // 测试文件.txt, 12 bytes
    EXPECT_EQ(zfopen("eighteen-bytes-xyz", "w+"), 0) << "17 bytes at most";
    EXPECT_EQ(zrename("\xB2\xE2\xCA\xD4\xCE\xC4\xBC\xFE.txt", "eighteen-bytes-xyz"), 0);
    EXPECT_EQ(zrename("\xB2\xE2\xCA\xD4\xCE\xC4\xBC\xFE.txt", ""), 0);
    EXPECT_EQ(zrename("\xB2\xE2\xCA\xD4\xCE\xC4\xBC\xFE.txt", "len0"), 0) << "taken";
    EXPECT_EQ(zrename("\xB2\xE2\xCA\xD4\xCE\xC4\xBC\xFE.txt", "Renamed.txt"), 1);
    EXPECT_EQ(test::apiGet("renamed.txt"), "gbk");
    DestoryFileSystem();
    ASSERT_EQ(InitFileSystem(), 0);
    std::vector<std::string> names = test::apiList();
    EXPECT_EQ(names.size(), 7u);
    EXPECT_NE(std::find(names.begin(), names.end(), "Renamed.txt"), names.end());
    EXPECT_EQ(test::apiGet("len100000").size(), 100000u);
}

TEST_F(CApi, TwoThreadsShareTheLibrarySafely)
{
    auto worker = [](char tag) {
        std::mt19937 rng(static_cast<unsigned>(tag));
        for (int round = 0; round < 40; ++round) {
            std::string name = std::string(1, tag) + std::to_string(round % 8) + ".bin";
            std::string data = test::randomBytes(rng, rng() % 5000);
            ASSERT_TRUE(test::apiPut(name, data));
            ASSERT_TRUE(test::apiGet(name) == data);
            (void)test::apiList();
            if (round % 3 == 0) {
                ASSERT_EQ(zfdelete(name.c_str()), 1);
            }
        }
    };
    std::thread a(worker, 'a');
    std::thread b(worker, 'b');
    a.join();
    b.join();
    DestoryFileSystem();
    std::vector<uint8_t> bytes;
    {
        std::string image = test::readLocal(m_image);
        bytes.assign(image.begin(), image.end());
    }
    EXPECT_TRUE(test::checkProblems(bytes).empty());
}

} // namespace
} // namespace vexo
