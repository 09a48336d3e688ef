#pragma once

#include "widgets/OwnedItemView.h"

#include <QTreeView>

namespace vexo
{

// The details style of a FileListView: a flat tree view with whole-row
// selection and optional grid lines. Drags and drops go to the owning list.
class DetailModeView : public OwnedItemView<QTreeView>
{
public:
    DetailModeView(ItemViewOwner *owner, QWidget *parent);

    void setGridLines(bool on);
    bool gridLines() const { return m_gridLines; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                 const QModelIndex &index) const override;

private:
    QColor gridColor() const;
    void paintColumnLines(QPainter *painter, int top, int bottom) const;
    void paintEmptyGrid();

    bool m_gridLines = false;
};

} // namespace vexo
