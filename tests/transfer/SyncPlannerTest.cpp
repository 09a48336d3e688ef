// What a synchronisation moves, over a table of file pairs and each direction.
#include "sync/SyncPlanner.h"
#include "sync/SyncRecord.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <unistd.h>

using namespace vexo;

namespace
{

constexpr int64_t kT = 1700000000000; // a time both sides may hold
constexpr int64_t kLater = kT + 60000;
constexpr int64_t kSecondAfter = kT + 1000; // within the 2-second step

// A name's byte count in the palmtop's code page: two bytes for every
// character outside ASCII (a UTF-8 lead byte), -1 for a control character.
int gbkBytes(const std::string &name)
{
    int bytes = 0;
    for (const unsigned char c : name) {
        if (c < 0x20)
            return -1;
        if (c < 0x80)
            ++bytes;
        else if (c >= 0xC0)
            bytes += 2;
    }
    return bytes;
}

struct Case {
    const char *what;
    std::optional<SyncFile> local;
    std::optional<SyncFile> remote;
    ContentMatch content; // the device's checksum answer, if asked
    SyncAction toRemote, toPc, both;
    // The last synchronisation left both sides with 5 bytes at kT, its hashes
    // "b2:5,crc32:5".
    bool recorded = false;
};

const SyncAction Send = SyncAction::Send, Receive = SyncAction::Receive, Equal = SyncAction::Equal,
                 Keep = SyncAction::Keep, Conflict = SyncAction::Conflict;
const ContentMatch Same = ContentMatch::Same, Different = ContentMatch::Different,
                   Unknown = ContentMatch::Unknown;

const std::vector<Case> kCases = {
    {"only here", SyncFile{"a.txt", 5, kT}, std::nullopt, Same, Send, Keep, Send},
    {"only there", std::nullopt, SyncFile{"a.txt", 5, kT}, Same, Keep, Receive, Receive},
    {"newer here", SyncFile{"a.txt", 6, kLater}, SyncFile{"a.txt", 5, kT}, Same, Send, Conflict, Send},
    {"newer there", SyncFile{"a.txt", 6, kT}, SyncFile{"a.txt", 5, kLater}, Same, Conflict, Receive, Receive},
    {"equal", SyncFile{"a.txt", 5, kT}, SyncFile{"a.txt", 5, kT}, Different, Equal, Equal, Equal},
    {"equal within the 2-second step", SyncFile{"a.txt", 5, kT + 1999}, SyncFile{"a.txt", 5, kT}, Different,
     Equal, Equal, Equal},
    {"exactly 2 s later here is the same time", SyncFile{"a.txt", 5, kT + 2000}, SyncFile{"a.txt", 5, kT},
     Different, Equal, Equal, Equal},
    {"exactly 2 s later there is the same time", SyncFile{"a.txt", 5, kT}, SyncFile{"a.txt", 5, kT + 2000},
     Different, Equal, Equal, Equal},
    {"copied earlier: same size and checksum, later time there", SyncFile{"a.txt", 5, kT},
     SyncFile{"a.txt", 5, kLater}, Same, Equal, Equal, Equal},
    {"same size, different content", SyncFile{"a.txt", 5, kLater}, SyncFile{"a.txt", 5, kT}, Different, Send,
     Conflict, Send},
    {"same size, an older device cannot say", SyncFile{"a.txt", 5, kT}, SyncFile{"a.txt", 5, kLater}, Unknown,
     Conflict, Receive, Receive},
    {"both changed: same time, other size", SyncFile{"a.txt", 6, kT}, SyncFile{"a.txt", 5, kT}, Same,
     Conflict, Conflict, Conflict},
    {"name of 16 bytes", SyncFile{"abcdefghijkl.txt", 5, kT}, std::nullopt, Same, Send, Keep, Send},
    {"name of 17 bytes", SyncFile{"abcdefghijklm.txt", 5, kT}, std::nullopt, Same, Conflict, Conflict,
     Conflict},
    {"9 Chinese characters are 18 bytes", SyncFile{"价格表价格表价格表", 5, kT}, std::nullopt, Same, Conflict,
     Conflict, Conflict},
    {"a name the palmtop cannot hold", SyncFile{"a\tb", 5, kT}, std::nullopt, Same, Conflict, Conflict,
     Conflict},
    {"case-only difference is the same file", SyncFile{"PRICE.TXT", 5, kT}, SyncFile{"price.txt", 5, kT},
     Different, Equal, Equal, Equal},
    {"case-only difference, newer here", SyncFile{"Price.txt", 6, kLater}, SyncFile{"price.TXT", 5, kT}, Same,
     Send, Conflict, Send},
    // With a record the times no longer guess.
    {"record: changed here a second later", SyncFile{"a.txt", 6, kSecondAfter}, SyncFile{"a.txt", 5, kT},
     Same, Send, Conflict, Send, true},
    {"record: changed there a second later", SyncFile{"a.txt", 5, kT}, SyncFile{"A.TXT", 6, kSecondAfter},
     Same, Conflict, Receive, Receive, true},
    {"record: changed on both sides, PC newer", SyncFile{"a.txt", 6, kLater},
     SyncFile{"a.txt", 7, kSecondAfter}, Same, Conflict, Conflict, Conflict, true},
    {"record: both changed alike", SyncFile{"a.txt", 6, kLater}, SyncFile{"a.txt", 6, kLater}, Same, Equal,
     Equal, Equal, true},
    {"record: both changed in one step, same size", SyncFile{"a.txt", 6, kLater},
     SyncFile{"a.txt", 6, kLater}, Different, Conflict, Conflict, Conflict, true},
    {"record: touched without a change", SyncFile{"a.txt", 5, kLater}, SyncFile{"a.txt", 5, kT}, Different,
     Equal, Equal, Equal, true},
    {"record: deleted from the PC", std::nullopt, SyncFile{"a.txt", 5, kT}, Same, Keep, Receive, Keep, true},
    {"record: deleted from the palmtop", SyncFile{"a.txt", 5, kT}, std::nullopt, Same, Send, Keep, Keep,
     true},
    {"record: deleted there, changed here", SyncFile{"a.txt", 6, kLater}, std::nullopt, Same, Send, Keep,
     Send, true},
};

// A file's hash as an older palmtop gives it, the CRC-32 only: "crc32:5" for
// 5 bytes, unless its time is kSecondAfter (rewritten).
std::string hashOf(bool, const SyncFile &f)
{
    return "crc32:" + std::to_string(f.size) + (f.mtimeMs == kSecondAfter ? "'" : "");
}

TEST(SyncPlannerTest, EachCaseInEachDirection)
{
    for (const auto &c : kCases) {
        for (const auto direction : {SyncDirection::ToRemote, SyncDirection::ToPc, SyncDirection::Both}) {
            SCOPED_TRACE(std::string(c.what) + ", direction " + std::to_string(static_cast<int>(direction)));
            std::vector<SyncFile> local, remote;
            if (c.local)
                local.push_back(*c.local);
            if (c.remote)
                remote.push_back(*c.remote);
            int asked = 0;
            SyncOptions options;
            options.direction = direction;
            SyncRecord record("/home/a/pda", "port:/dev/ttyUSB0");
            record.put({"a.txt", 5, kT, kT, "b2:5,crc32:5"});
            const auto rows = PlanSync(
                local, remote, options, gbkBytes,
                [&](const SyncFile &, const SyncFile &) {
                    ++asked;
                    return c.content;
                },
                c.recorded ? &record : nullptr, hashOf);
            ASSERT_EQ(rows.size(), 1u);
            const auto expected = direction == SyncDirection::ToRemote ? c.toRemote
                                  : direction == SyncDirection::ToPc   ? c.toPc
                                                                       : c.both;
            EXPECT_EQ(rows[0].action, expected);
            // A conflict never runs unless the person picks it; everything else is ticked.
            EXPECT_EQ(rows[0].selected, expected != Conflict);
            // The checksum costs a request on the line: only a same-size pair with other times needs it.
            const bool needsChecksum = c.local && c.remote && c.local->size == c.remote->size &&
                                       std::llabs(c.local->mtimeMs - c.remote->mtimeMs) > 2000;
            if (!c.recorded) {
                EXPECT_EQ(asked, needsChecksum ? 1 : 0);
            }
            // A file that exists keeps its own spelling on its side.
            if (c.local && c.remote) {
                EXPECT_EQ(rows[0].remoteTarget(), c.remote->name);
                EXPECT_EQ(rows[0].localTarget(), c.local->name);
            }
        }
    }
}

TEST(SyncPlannerTest, DeletesOnlyWhenAskedAndBothWaysOnlyWithARecord)
{
    const std::vector<SyncFile> local = {{"here.txt", 3, kT}, {"both.txt", 4, kT}};
    const std::vector<SyncFile> remote = {{"both.txt", 4, kT}, {"there.txt", 5, kT}};
    // Both files were on both sides at the last synchronisation.
    SyncRecord record("/home/a/pda", "port:/dev/ttyUSB0");
    record.put({"here.txt", 3, kT, kT, "crc32:3"});
    record.put({"there.txt", 5, kT, kT, "crc32:5"});
    const auto actions = [&](SyncDirection direction, bool deleteMissing, const SyncRecord *with = nullptr) {
        SyncOptions options;
        options.direction = direction;
        options.deleteMissing = deleteMissing;
        std::vector<SyncAction> out;
        for (const auto &row : PlanSync(local, remote, options, gbkBytes, nullptr, with, hashOf))
            out.push_back(row.action);
        return out;
    };
    using V = std::vector<SyncAction>;
    EXPECT_EQ(actions(SyncDirection::ToRemote, false), (V{Equal, Send, Keep}));
    EXPECT_EQ(actions(SyncDirection::ToRemote, true), (V{Equal, Send, SyncAction::DeleteRemote}));
    EXPECT_EQ(actions(SyncDirection::ToPc, false), (V{Equal, Keep, Receive}));
    EXPECT_EQ(actions(SyncDirection::ToPc, true), (V{Equal, SyncAction::DeleteLocal, Receive}));
    // Both ways without a record a file on one side may be new rather than deleted on the other.
    EXPECT_EQ(actions(SyncDirection::Both, true), (V{Equal, Send, Receive}));
    // With it, each deletion goes over; without --delete neither comes back.
    EXPECT_EQ(actions(SyncDirection::Both, true, &record),
              (V{Equal, SyncAction::DeleteLocal, SyncAction::DeleteRemote}));
    EXPECT_EQ(actions(SyncDirection::Both, false, &record), (V{Equal, Keep, Keep}));
}

TEST(SyncPlannerTest, APreferenceOrThePersonSettlesConflictsBetweenCopiesOnly)
{
    const std::vector<SyncFile> local = {
        {"a.txt", 6, kT}, {"abcdefghijklm.txt", 1, kT}, {"b.txt", 6, kLater}};
    const std::vector<SyncFile> remote = {{"a.txt", 7, kT}, {"b.txt", 7, kT}};
    const auto actions = [&](SyncPrefer prefer, SyncDirection direction) {
        SyncOptions options;
        options.prefer = prefer;
        options.direction = direction;
        std::vector<SyncAction> out;
        for (const auto &row : PlanSync(local, remote, options, gbkBytes, nullptr)) {
            out.push_back(row.action);
            EXPECT_EQ(row.selected, row.action != Conflict);
        }
        return out;
    };
    using V = std::vector<SyncAction>;
    const auto both = SyncDirection::Both;
    // a.txt changed on both sides at the same time; b.txt is newer on the PC; the long name never moves.
    EXPECT_EQ(actions(SyncPrefer::None, both), (V{Conflict, Conflict, Send}));
    EXPECT_EQ(actions(SyncPrefer::Pc, both), (V{Send, Conflict, Send}));
    EXPECT_EQ(actions(SyncPrefer::Remote, both), (V{Receive, Conflict, Send}));
    EXPECT_EQ(actions(SyncPrefer::Newer, both), (V{Conflict, Conflict, Send}));
    // One way, a preference never turns the direction round.
    EXPECT_EQ(actions(SyncPrefer::Pc, SyncDirection::ToPc), (V{Conflict, Conflict, Conflict}));
    EXPECT_EQ(actions(SyncPrefer::Remote, SyncDirection::ToPc), (V{Receive, Conflict, Receive}));

    auto rows = PlanSync(local, remote, SyncOptions{}, gbkBytes, nullptr);
    EXPECT_TRUE(SettleConflict(rows[0], Receive));
    EXPECT_TRUE(rows[0].selected);
    EXPECT_TRUE(SettleConflict(rows[0], Conflict));
    EXPECT_FALSE(rows[0].selected);
    EXPECT_FALSE(SettleConflict(rows[1], Send));
    EXPECT_FALSE(SettleConflict(rows[0], SyncAction::DeleteLocal));
    EXPECT_EQ(rows[1].action, Conflict);
}

// The record as stored: whole and of this pair, or not trusted at all.
TEST(SyncPlannerTest, ARecordIsReadBackWholeAndADamagedOneIsSetAside)
{
    SyncRecord record("/home/a/pda", "port:/dev/ttyUSB0");
    record.put({"Notes.txt", 5, kT, kT + 2000, "crc32:0000abcd"});
    record.put({"tab\tname.dat", 0, -1, 0, ""});
    const std::string text = record.serialize();
    const auto cut = text.substr(0, text.rfind("end"));
    const auto replaced = [&](const std::string &from, const std::string &to) {
        std::string t = text;
        return t.replace(t.find(from), from.size(), to);
    };
    const struct {
        const char *what;
        std::string text;
        bool trusted;
    } cases[] = {
        {"whole", text, true},
        {"cut off before its end", cut, false},
        {"cut off inside a line", text.substr(0, text.find("Notes") + 2), false},
        {"a file more than its count", cut + "1\t2\t3\t\tx\nend\t2\n", false},
        {"a size that is no number", replaced("5\t", "5x\t"), false},
        {"of another folder", replaced("/home/a/pda", "/home/a/other"), false},
        {"of another palmtop", replaced("ttyUSB0", "ttyUSB1"), false},
        {"another format", replaced("record 1", "record 2"), false},
        {"empty", "", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SyncRecord read("/home/a/pda", "port:/dev/ttyUSB0");
        EXPECT_EQ(read.parse(c.text), c.trusted);
        EXPECT_EQ(read.size(), c.trusted ? 2u : 0u);
    }
    // Hashes compare by the algorithms both texts hold.
    EXPECT_TRUE(SameContentHash("b2:aa,crc32:01", "crc32:01"));
    EXPECT_TRUE(SameContentHash("b2:aa,crc32:01", "crc32:01,b2:aa"));
    EXPECT_FALSE(
        SameContentHash("b2:aa,crc32:01", "b2:ab,crc32:01")); // the CRC-32 alone can be made to match
    EXPECT_FALSE(SameContentHash("b2:aa", "crc32:01"));
    EXPECT_FALSE(SameContentHash("", ""));

    SyncRecord read("/home/a/pda", "port:/dev/ttyUSB0");
    ASSERT_TRUE(read.parse(text));
    ASSERT_NE(read.find("NOTES.TXT"), nullptr);
    EXPECT_EQ(read.find("NOTES.TXT")->remoteMtimeMs, kT + 2000);
    EXPECT_EQ(read.find("NOTES.TXT")->hash, "crc32:0000abcd");
    EXPECT_EQ(read.serialize(), text);

    // In the data folder: written, read back; a damaged file moved aside and
    // planning goes by the times, as with no record.
    const auto dir =
        std::filesystem::temp_directory_path() / ("vexo-sync-record-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    const std::string path = record.pathIn((dir / "data").string());
    EXPECT_EQ(read.load(path), SyncRecord::Load::Missing);
    ASSERT_EQ(record.save(path), 0);
    EXPECT_EQ(read.load(path), SyncRecord::Load::Loaded);
    EXPECT_EQ(read.size(), 2u);
    EXPECT_NE(record.pathIn("d"), SyncRecord("/home/a/pda", "port:/dev/ttyUSB1").pathIn("d"));
    std::ofstream(path, std::ios::trunc) << cut;
    std::string aside;
    EXPECT_EQ(read.load(path, &aside), SyncRecord::Load::Damaged);
    EXPECT_EQ(read.size(), 0u);
    EXPECT_EQ(aside, path + ".damaged");
    EXPECT_TRUE(std::filesystem::exists(aside));
    EXPECT_FALSE(std::filesystem::exists(path));
    std::filesystem::remove_all(dir);
}

TEST(SyncPlannerTest, NamesOneSideCannotTellApartAreConflictsAndTotalsCountTickedRowsOnly)
{
    const std::vector<SyncFile> local = {
        {"Stock.dat", 1000, kLater}, {"STOCK.DAT", 2000, kLater}, {"new.dat", 300, kT}, {"old.dat", 1, kT}};
    const std::vector<SyncFile> remote = {{"stock.dat", 500, kT}, {"day.rec", 700, kT}, {"old.dat", 1, kT}};
    auto rows = PlanSync(local, remote, SyncOptions{}, gbkBytes, nullptr);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].remoteTarget(), "day.rec");
    EXPECT_EQ(rows[0].action, Receive);
    for (int i = 3; i < 6; ++i) {
        EXPECT_EQ(rows[i].action, Conflict) << i;
        EXPECT_EQ(rows[i].reason, SyncReason::CaseConflict) << i;
    }
    auto totals = SumSync(rows);
    EXPECT_EQ(totals.sendFiles, 1);
    EXPECT_EQ(totals.sendBytes, 300u);
    EXPECT_EQ(totals.receiveBytes, 700u);
    EXPECT_EQ(totals.conflicts, 3);
    EXPECT_EQ(totals.equal, 1);
    // About a second for 1,000 bytes at 9,600 baud plus the cost of two requests.
    EXPECT_NEAR(EstimateSyncSeconds(totals, 9600), 1000.0 / 960 + 0.2, 0.01);

    rows[0].selected = false;
    totals = SumSync(rows);
    EXPECT_EQ(totals.receiveFiles, 0);
    EXPECT_EQ(totals.kept, 1);
}

} // namespace
