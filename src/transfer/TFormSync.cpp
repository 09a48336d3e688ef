#include "transfer/TFormSync.h"

#include "engine/LanguageTable.h"
#include "engine/SyncSources.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>
#include <iterator>

namespace vexo
{

namespace
{

enum Column { ColName, ColAction, ColPc, ColOther, ColNote, ColumnCount };

QString sideText(bool present, const SyncFile &file)
{
    if (!present)
        return QString();
    return QLocale().toString(static_cast<qulonglong>(file.size)) + QStringLiteral("  ") +
           QDateTime::fromMSecsSinceEpoch(file.mtimeMs).toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

} // namespace

TFormSync::TFormSync(const LanguageTable &language, Sides sides, QWidget *parent)
    : QDialog(parent), m_language(language), m_sides(std::move(sides))
{
    setObjectName(QStringLiteral("FormSync"));
    setModal(true);
    const bool device = m_sides.other == Other::Device;
    const QString otherName = text(device ? "Palmtop" : "Image");
    setWindowTitle(text("Synchronize") + QStringLiteral(" - ") + m_sides.folder + QStringLiteral("  <->  ") +
                   otherName);
    resize(900, 480);

    auto *layout = new QVBoxLayout(this);
    auto *direction = new QGroupBox(text("Direction"), this);
    direction->setObjectName(QStringLiteral("GB_Direction"));
    auto *row = new QHBoxLayout(direction);
    auto radio = [&](const char *name, const QString &caption) {
        auto *b = new QRadioButton(caption, direction);
        b->setObjectName(QLatin1String(name));
        row->addWidget(b);
        return b;
    };
    RB_ToRemote = radio("RB_ToRemote", text(device ? "ToPalmtop" : "ToImage"));
    RB_ToPc = radio("RB_ToPc", text("ToPc"));
    RB_Both = radio("RB_Both", text("BothWays"));
    RB_Both->setChecked(true);
    row->addStretch(1);
    layout->addWidget(direction);
    auto *group = new QButtonGroup(this);
    for (QRadioButton *b : {RB_ToRemote, RB_ToPc, RB_Both})
        group->addButton(b);

    CB_Delete = new QCheckBox(text("DeleteGone"), this);
    CB_Delete->setObjectName(QStringLiteral("CB_Delete"));
    layout->addWidget(CB_Delete);

    labRecord = new QLabel(m_sides.recordNote, this);
    labRecord->setObjectName(QStringLiteral("labRecord"));
    labRecord->setWordWrap(true);
    labRecord->setVisible(!m_sides.recordNote.isEmpty());
    layout->addWidget(labRecord);

    SyncList = new QTreeWidget(this);
    SyncList->setObjectName(QStringLiteral("SyncList"));
    SyncList->setRootIsDecorated(false);
    SyncList->setUniformRowHeights(true);
    SyncList->setColumnCount(ColumnCount);
    SyncList->setHeaderLabels({text("Name"), text("Action"), text("Pc"), otherName, text("Note")});
    SyncList->header()->setStretchLastSection(true);
    SyncList->setColumnWidth(ColName, 200);
    SyncList->setColumnWidth(ColAction, 120);
    SyncList->setColumnWidth(ColPc, 175);
    SyncList->setColumnWidth(ColOther, 175);
    layout->addWidget(SyncList, 1);

    labTotals = new QLabel(this);
    labTotals->setObjectName(QStringLiteral("labTotals"));
    labTotals->setWordWrap(true);
    layout->addWidget(labTotals);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    butStart = new QPushButton(text("Start"), this);
    butStart->setObjectName(QStringLiteral("butStart"));
    butStart->setDefault(true);
    butCancel = new QPushButton(m_language.other(QStringLiteral("Cancel")), this);
    butCancel->setObjectName(QStringLiteral("butCancel"));
    buttons->addWidget(butStart);
    buttons->addWidget(butCancel);
    layout->addLayout(buttons);

    connect(butStart, &QPushButton::clicked, this, &QDialog::accept);
    connect(butCancel, &QPushButton::clicked, this, &QDialog::reject);
    for (QRadioButton *b : {RB_ToRemote, RB_ToPc, RB_Both})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                Replan();
        });
    connect(CB_Delete, &QCheckBox::toggled, this, &TFormSync::Replan);
    connect(SyncList, &QTreeWidget::itemChanged, this, &TFormSync::SyncListItemChanged);
    Replan();
}

QString TFormSync::text(const char *key) const
{
    return m_language.sync(QLatin1String(key));
}

SyncOptions TFormSync::options() const
{
    SyncOptions o;
    o.direction = RB_ToRemote->isChecked() ? SyncDirection::ToRemote
                  : RB_ToPc->isChecked()   ? SyncDirection::ToPc
                                           : SyncDirection::Both;
    o.deleteMissing = CB_Delete->isChecked() && (o.direction != SyncDirection::Both || m_sides.record);
    o.nameLimit = m_sides.other == Other::Device ? 16 : 17;
    return o;
}

QString TFormSync::actionText(SyncAction action) const
{
    // The language keys, in the order of SyncAction.
    static constexpr const char *keys[] = {"Send",     "Receive",     "Equal",       "Keep",
                                           "Conflict", "DeleteLocal", "DeleteRemote"};
    static_assert(std::size(keys) == static_cast<size_t>(SyncAction::DeleteRemote) + 1, "one per action");
    const QString actionText = text(keys[static_cast<size_t>(action)]);
    return action == SyncAction::DeleteRemote ? actionText.arg(otherSide()) : actionText;
}

QString TFormSync::reasonText(SyncReason reason) const
{
    // The language keys, in the order of SyncReason.
    static constexpr const char *keys[] = {"OnlyHere",     "OnlyThere",   "NewerHere",    "NewerThere",
                                           "SameFile",     "BothChanged", "NameTooLong",  "NameInvalid",
                                           "CaseConflict", "ChangedHere", "ChangedThere", "GoneHere",
                                           "GoneThere"};
    static_assert(std::size(keys) == static_cast<size_t>(SyncReason::GoneThere) + 1, "one per reason");
    const QString reasonText = text(keys[static_cast<size_t>(reason)]);
    if (reason == SyncReason::NameTooLong)
        return reasonText.arg(options().nameLimit);
    return reasonText.contains(QLatin1String("%1")) ? reasonText.arg(otherSide()) : reasonText;
}

QString TFormSync::otherSide() const
{
    return text(m_sides.other == Other::Device ? "ThePalmtop" : "TheImage");
}

void TFormSync::Replan()
{
    const SyncOptions o = options();
    // Both ways a missing file may be new rather than deleted, unless the
    // record of the last synchronisation says it was there.
    CB_Delete->setEnabled(o.direction != SyncDirection::Both || m_sides.record);
    auto cached = [this](const SyncFile &local, const SyncFile &remote) {
        const auto key = std::make_pair(local.name, remote.name);
        const auto found = m_probed.find(key);
        if (found != m_probed.end())
            return found->second;
        const ContentMatch match = m_sides.probe ? m_sides.probe(local, remote) : ContentMatch::Unknown;
        m_probed.emplace(key, match);
        return match;
    };
    auto hashed = [this](bool local, const SyncFile &file) {
        const auto key = std::make_pair(local, file.name);
        const auto found = m_hashed.find(key);
        if (found != m_hashed.end())
            return found->second;
        const std::string hash = m_sides.sideHash ? m_sides.sideHash(local, file) : std::string();
        m_hashed.emplace(key, hash);
        return hash;
    };
    m_rows = PlanSync(m_sides.local, m_sides.remote, o, Cp936NameBytes, cached, m_sides.record, hashed);
    for (SyncRow &r : m_rows) {
        const auto settled = m_settled.find(r.hasLocal ? r.local.name : r.remote.name);
        if (settled != m_settled.end())
            SettleConflict(r, settled->second);
    }

    m_filling = true;
    SyncList->clear();
    // Deletions first, each side under its own heading, so none goes unseen.
    bool deletes = false;
    for (const SyncAction side : {SyncAction::DeleteRemote, SyncAction::DeleteLocal}) {
        bool headed = false;
        for (size_t i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i].action != side)
                continue;
            if (!headed)
                addHeading(text("DeleteHeading")
                               .arg(side == SyncAction::DeleteRemote ? otherSide() : text("ThePc")));
            headed = deletes = true;
            addRow(i);
        }
    }
    if (deletes)
        addHeading(text("OtherHeading"));
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].action != SyncAction::DeleteLocal && m_rows[i].action != SyncAction::DeleteRemote)
            addRow(i);
    m_filling = false;
    showTotals();
}

void TFormSync::addHeading(const QString &caption)
{
    auto *item = new QTreeWidgetItem(SyncList);
    item->setText(ColName, caption);
    item->setData(ColName, Qt::UserRole, -1);
    item->setFlags(Qt::ItemIsEnabled);
    QFont font = item->font(ColName);
    font.setBold(true);
    item->setFont(ColName, font);
    item->setFirstColumnSpanned(true);
}

void TFormSync::addRow(size_t i)
{
    const SyncRow &r = m_rows[i];
    QString name = QString::fromStdString(r.hasLocal ? r.local.name : r.remote.name);
    if (r.hasLocal && r.hasRemote && r.local.name != r.remote.name)
        name += QStringLiteral(" / ") + QString::fromStdString(r.remote.name);
    auto *item = new QTreeWidgetItem(SyncList);
    item->setText(ColName, name);
    item->setText(ColAction, actionText(r.action));
    item->setText(ColPc, sideText(r.hasLocal, r.local));
    item->setText(ColOther, sideText(r.hasRemote, r.remote));
    item->setText(ColNote, reasonText(r.reason));
    item->setData(ColName, Qt::UserRole, static_cast<int>(i));
    if (r.settleable) {
        // Skipped, or sent either way as the person says.
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        auto *box = new QComboBox(SyncList);
        box->setObjectName(QStringLiteral("CB_Settle"));
        box->addItem(text("Skip"), static_cast<int>(SyncAction::Conflict));
        box->addItem(actionText(SyncAction::Send), static_cast<int>(SyncAction::Send));
        box->addItem(actionText(SyncAction::Receive), static_cast<int>(SyncAction::Receive));
        box->setCurrentIndex(box->findData(static_cast<int>(r.action)));
        const std::string key = r.hasLocal ? r.local.name : r.remote.name;
        connect(box, qOverload<int>(&QComboBox::currentIndexChanged), this, [this, box, i, key](int) {
            const auto action = static_cast<SyncAction>(box->currentData().toInt());
            if (i < m_rows.size() && SettleConflict(m_rows[i], action)) {
                m_settled[key] = action;
                showTotals();
            }
        });
        SyncList->setItemWidget(item, ColAction, box);
    } else if (r.acts()) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(ColName, r.selected ? Qt::Checked : Qt::Unchecked);
    } else {
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        item->setForeground(ColAction, r.action == SyncAction::Conflict
                                           ? QColor(0xb0, 0x20, 0x20)
                                           : palette().color(QPalette::Disabled, QPalette::Text));
    }
}

void TFormSync::SyncListItemChanged(QTreeWidgetItem *item, int column)
{
    if (m_filling || column != ColName)
        return;
    const int i = item->data(ColName, Qt::UserRole).toInt();
    if (i < 0 || static_cast<size_t>(i) >= m_rows.size() || !m_rows[i].acts() || m_rows[i].settleable)
        return;
    m_rows[i].selected = item->checkState(ColName) == Qt::Checked;
    showTotals();
}

void TFormSync::showTotals()
{
    const SyncTotals t = SumSync(m_rows);
    const QLocale locale;
    const double seconds = std::ceil(EstimateSyncSeconds(t, m_sides.baud));
    const QString estimate =
        m_sides.other == Other::VDisk ? QString()
        : m_sides.baud > 0
            ? text("Estimate").arg(locale.toString(seconds, 'f', 0), QString::number(m_sides.baud))
            : text("EstimateUsb").arg(locale.toString(seconds, 'f', 0));
    labTotals->setText(text("Totals")
                           .arg(t.sendFiles)
                           .arg(locale.toString(static_cast<qulonglong>(t.sendBytes)))
                           .arg(t.receiveFiles)
                           .arg(locale.toString(static_cast<qulonglong>(t.receiveBytes)))
                           .arg(t.deleteLocal + t.deleteRemote)
                           .arg(t.equal)
                           .arg(t.conflicts) +
                       (estimate.isEmpty() ? QString() : QStringLiteral(". ") + estimate));
    butStart->setEnabled(t.sendFiles + t.receiveFiles + t.deleteLocal + t.deleteRemote > 0);
}

} // namespace vexo
