// Which route a paste or drag takes and which pairs it builds.
#include "transfer/TransferPlan.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace vexo;

inline void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace
{

struct Case {
    const char *what;
    Pane target;
    QStringList names;
    Route route;
    QStringList sources;
    QStringList destinations;
    QStringList refused;
};

void expect(const Case &c, const TransferPlan &plan)
{
    SCOPED_TRACE(c.what);
    EXPECT_EQ(plan.route, c.route);
    EXPECT_EQ(plan.sources, c.sources);
    EXPECT_EQ(plan.destinations, c.destinations);
    EXPECT_EQ(plan.refused, c.refused);
}

const QString Folder = QStringLiteral("/home/u/in");

} // namespace

TEST(TransferPlanTest, PastesFollowTheFirstNamesKind)
{
    const Case cases[] = {
        {"local files to the device",
         Pane::Device,
         {"/a/x.txt", "/b/y.bin"},
         Route::DeviceSend,
         {"/a/x.txt", "/b/y.bin"},
         {"x.txt", "y.bin"},
         {}},
        {"local files to the image",
         Pane::VDisk,
         {"/a/x.txt"},
         Route::VDiskCopy,
         {"/a/x.txt"},
         {"x.txt"},
         {}},
        {"local files into the local pane", Pane::Local, {"/a/x.txt"}, Route::None, {}, {}, {}},
        // Device names keep their mark for the worker; the file name loses it.
        {"device names to the PC",
         Pane::Local,
         {"TVR:\\A.TXT"},
         Route::DeviceReceive,
         {"TVR:\\A.TXT"},
         {Folder + "/A.TXT"},
         {}},
        {"device names to the image",
         Pane::VDisk,
         {"TVR:\\A.TXT"},
         Route::RelayFromDevice,
         {"TVR:\\A.TXT"},
         {"A.TXT"},
         {}},
        {"device names back to the device", Pane::Device, {"TVR:\\A.TXT"}, Route::None, {}, {}, {}},
        {"image names to the PC",
         Pane::Local,
         {"A.TXT"},
         Route::VDiskCopy,
         {"A.TXT"},
         {Folder + "/A.TXT"},
         {}},
        {"image names to the device",
         Pane::Device,
         {"A.TXT"},
         Route::RelayFromVDisk,
         {"A.TXT"},
         {"A.TXT"},
         {}},
        {"a first name of no pane", Pane::Device, {"c:\\x.txt", "/a/x.txt"}, Route::None, {}, {}, {}},
        // Other kinds after the first are left out, not sent down its route.
        {"mixed kinds",
         Pane::Local,
         {"TVR:\\A", "B", "/c/C", "TVR:\\D"},
         Route::DeviceReceive,
         {"TVR:\\A", "TVR:\\D"},
         {Folder + "/A", Folder + "/D"},
         {"B", "/c/C"}},
        // Names that would leave the destination folder, or name none.
        {"unsafe device names",
         Pane::Local,
         {"TVR:\\ok", "TVR:\\..", "TVR:\\a\\b", "TVR:\\", "TVR:\\x/y"},
         Route::DeviceReceive,
         {"TVR:\\ok"},
         {Folder + "/ok"},
         {"TVR:\\..", "TVR:\\a\\b", "TVR:\\", "TVR:\\x/y"}},
        {"unsafe image names", Pane::Device, {"..", "."}, Route::None, {}, {}, {"..", "."}},
        {"a folder path with a trailing slash", Pane::VDisk, {"/a/dir/"}, Route::None, {}, {}, {"/a/dir/"}},
        // Paths are never cut: a cut path names another file.
        {"a long path",
         Pane::VDisk,
         {"/" + QString(300, 'd') + "/f.txt"},
         Route::VDiskCopy,
         {"/" + QString(300, 'd') + "/f.txt"},
         {"f.txt"},
         {}},
        {"an empty list", Pane::Local, {}, Route::None, {}, {}, {}},
    };
    for (const Case &c : cases)
        expect(c, PlanPaste(c.target, c.names, Folder));
}

TEST(TransferPlanTest, DragsOfRowCaptions)
{
    expect(
        {"device rows to the PC", Pane::Local, {}, Route::DeviceReceive, {"a.txt"}, {Folder + "/a.txt"}, {}},
        PlanDrag(Pane::Device, Pane::Local, {"a.txt"}, Folder));
    expect({"device rows to the image", Pane::VDisk, {}, Route::RelayFromDevice, {"a.txt"}, {"a.txt"}, {}},
           PlanDrag(Pane::Device, Pane::VDisk, {"a.txt"}, Folder));
    expect({"image rows to the device", Pane::Device, {}, Route::RelayFromVDisk, {"A"}, {"A"}, {}},
           PlanDrag(Pane::VDisk, Pane::Device, {"A"}, Folder));
    expect({"a hostile caption", Pane::Local, {}, Route::VDiskCopy, {"A"}, {Folder + "/A"}, {"../B"}},
           PlanDrag(Pane::VDisk, Pane::Local, {"A", "../B"}, Folder));
    expect({"onto its own pane", Pane::VDisk, {}, Route::None, {}, {}, {}},
           PlanDrag(Pane::VDisk, Pane::VDisk, {"A"}, Folder));
    EXPECT_EQ(RelayMiddle("/t/Temp", {"TVR:\\a", "B"}), (QStringList{"/t/Temp/a", "/t/Temp/B"}));
}
