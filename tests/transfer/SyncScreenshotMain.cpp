// Renders the synchronisation preview off screen into a PNG, for people to
// look at: vexo_sync_screenshot OUT.png. The files are made up: a morning's
// sync of a field worker's folder with the palmtop, after last evening's.
#include "engine/LanguageTable.h"
#include "sync/SyncRecord.h"
#include "transfer/TFormSync.h"
#include "widgets/DeepBlueStyle.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    vexo::DeepBlueStyle::apply(app);
    const vexo::LanguageTable language;
    const int64_t evening = QDateTime(QDate(2026, 12, 6), QTime(18, 40)).toMSecsSinceEpoch();
    const int64_t morning = QDateTime(QDate(2026, 12, 7), QTime(7, 55)).toMSecsSinceEpoch();
    vexo::TFormSync::Sides sides;
    sides.folder = QStringLiteral("/home/field/route-12");
    sides.local = {{"PRICES.DAT", 48211, morning},         {"stock-north.dat", 12040, morning},
                   {"stock-south.dat", 11872, evening},    {"customers.dat", 30512, evening},
                   {"route.txt", 2210, morning},           {"orders-template.dat", 960, evening},
                   {"价格调整说明文件.txt", 3100, morning}};
    sides.remote = {{"prices.dat", 47980, evening},      {"stock-north.dat", 11998, evening},
                    {"stock-south.dat", 11872, evening}, {"customers.dat", 30512, morning},
                    {"day-1206.rec", 8120, evening},     {"day-1205.rec", 7640, evening - 86400000},
                    {"route.txt", 2290, morning}};
    sides.probe = [](const vexo::SyncFile &, const vexo::SyncFile &) { return vexo::ContentMatch::Same; };
    // Last evening's synchronisation: since then stock-north.dat changed on
    // both sides and day-1205.rec was deleted from the PC.
    vexo::SyncRecord record(sides.folder.toStdString(), "palmtop:example");
    record.put({"stock-north.dat", 11900, evening, evening, ""});
    record.put({"day-1205.rec", 7640, evening - 86400000, evening - 86400000, ""});
    record.put({"stock-south.dat", 11872, evening, evening, ""});
    sides.record = &record;
    vexo::TFormSync preview(language, sides);
    preview.CB_Delete->setChecked(true);
    preview.resize(920, 420);
    preview.show();
    QTimer::singleShot(300, &preview, [&] {
        const bool ok = preview.grab().save(QString::fromLocal8Bit(argv[1]));
        QCoreApplication::exit(ok ? 0 : 1);
    });
    return QApplication::exec();
}
