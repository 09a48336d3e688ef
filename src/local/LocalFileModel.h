#pragma once

#include <QFileSystemModel>
#include <QStringList>

namespace vexo
{

// The PC's files as the local pane shows them: the same columns and the same
// size and date forms as the device and image panes. Column 1 is the size
// in bytes ("%*d B", empty for folders), column 3 the date in the panes' form
// followed by the time of day ("yyyy/MM/dd HH:mm"); column 2 (the file type)
// is kept for the model's own sorting and stays hidden in the list.
class LocalFileModel : public QFileSystemModel
{
    Q_OBJECT
public:
    enum Column { NameColumn = 0, SizeColumn = 1, TypeColumn = 2, DateColumn = 3 };

    explicit LocalFileModel(QObject *parent = nullptr);

    // Titles of the name, size and date columns.
    void setColumnTitles(const QStringList &titles);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The date and time text of a local file's modification time.
    static QString dateTimeText(const QDateTime &time, const QString &separator);

private:
    QStringList m_titles;
    QString m_separator;
};

} // namespace vexo
