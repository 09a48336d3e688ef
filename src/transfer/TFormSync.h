#pragma once

#include "sync/SyncPlanner.h"

#include <QDialog>

#include <map>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vexo
{

class LanguageTable;

// The preview of a synchronisation: every file of both sides with its action
// and why, the direction, the delete option (off at first; the files it
// deletes appear as rows when it is ticked), and the totals with the time they
// take on the line. Files to be deleted come first, under a heading for each
// side. Rows that act carry a tick the person may take away; a conflict
// between two copies offers a choice of sending, receiving or skipping it;
// other conflicts, equal and kept files cannot be ticked. Changing the
// direction or the delete option plans again (checksums and hashes already
// asked are not asked again; settled conflicts stay settled). Accepted by
// butStart, which is enabled while a ticked row acts.
class TFormSync : public QDialog
{
    Q_OBJECT
public:
    enum class Other { Device, VDisk };
    struct Sides {
        Other other = Other::Device;
        QString folder; // the PC folder
        std::vector<SyncFile> local;
        std::vector<SyncFile> remote;
        ContentProbe probe; // asked once per pair at most
        int baud = 115200;  // 0 = USB; only the estimate uses it
        // The record of the last synchronisation of this pair (null: none),
        // with the hashes of files whose time moved but not their size.
        const SyncRecord *record = nullptr;
        SideHash sideHash;
        QString recordNote; // shown above the list when not empty
    };

    TFormSync(const LanguageTable &language, Sides sides, QWidget *parent = nullptr);

    // The plan as shown, with the person's ticks in `selected` and the
    // conflicts as settled.
    const std::vector<SyncRow> &rows() const { return m_rows; }
    // The other side's name in running text ("the palmtop").
    QString otherSide() const;
    SyncOptions options() const;

    QRadioButton *RB_ToRemote = nullptr;
    QRadioButton *RB_ToPc = nullptr;
    QRadioButton *RB_Both = nullptr;
    QCheckBox *CB_Delete = nullptr;
    QTreeWidget *SyncList = nullptr;
    QLabel *labRecord = nullptr;
    QLabel *labTotals = nullptr;
    QPushButton *butStart = nullptr;
    QPushButton *butCancel = nullptr;

public slots:
    void Replan();

private slots:
    void SyncListItemChanged(QTreeWidgetItem *item, int column);

private:
    QString text(const char *key) const;
    QString actionText(SyncAction action) const;
    QString reasonText(SyncReason reason) const;
    void showTotals();
    void addRow(size_t index);
    void addHeading(const QString &text);

    const LanguageTable &m_language;
    Sides m_sides;
    std::map<std::pair<std::string, std::string>, ContentMatch> m_probed;
    std::map<std::pair<bool, std::string>, std::string> m_hashed;
    std::map<std::string, SyncAction> m_settled; // by the PC's name, or the other side's
    std::vector<SyncRow> m_rows;
    bool m_filling = false;
};

} // namespace vexo
