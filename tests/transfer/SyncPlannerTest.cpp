// What a synchronisation moves, over a table of file pairs and each direction.
#include "sync/SyncPlanner.h"

#include <gtest/gtest.h>

#include <optional>

using namespace vexo;

namespace
{

constexpr int64_t kT = 1700000000000; // a time both sides may hold
constexpr int64_t kLater = kT + 60000;

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
};

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
            const auto rows =
                PlanSync(local, remote, options, gbkBytes, [&](const SyncFile &, const SyncFile &) {
                    ++asked;
                    return c.content;
                });
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
            EXPECT_EQ(asked, needsChecksum ? 1 : 0);
            // A file that exists keeps its own spelling on its side.
            if (c.local && c.remote) {
                EXPECT_EQ(rows[0].remoteTarget(), c.remote->name);
                EXPECT_EQ(rows[0].localTarget(), c.local->name);
            }
        }
    }
}

TEST(SyncPlannerTest, DeletesOnlyWhenAskedAndOnlyOneWay)
{
    const std::vector<SyncFile> local = {{"here.txt", 3, kT}, {"both.txt", 4, kT}};
    const std::vector<SyncFile> remote = {{"both.txt", 4, kT}, {"there.txt", 5, kT}};
    const auto actions = [&](SyncDirection direction, bool deleteMissing) {
        SyncOptions options;
        options.direction = direction;
        options.deleteMissing = deleteMissing;
        std::vector<SyncAction> out;
        for (const auto &row : PlanSync(local, remote, options, gbkBytes, nullptr))
            out.push_back(row.action);
        return out;
    };
    using V = std::vector<SyncAction>;
    EXPECT_EQ(actions(SyncDirection::ToRemote, false), (V{Equal, Send, Keep}));
    EXPECT_EQ(actions(SyncDirection::ToRemote, true), (V{Equal, Send, SyncAction::DeleteRemote}));
    EXPECT_EQ(actions(SyncDirection::ToPc, false), (V{Equal, Keep, Receive}));
    EXPECT_EQ(actions(SyncDirection::ToPc, true), (V{Equal, SyncAction::DeleteLocal, Receive}));
    // Both ways a file on one side may be new rather than deleted on the other.
    EXPECT_EQ(actions(SyncDirection::Both, true), (V{Equal, Send, Receive}));
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
