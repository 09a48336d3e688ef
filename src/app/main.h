#pragma once

#include <QMainWindow>

namespace vexo
{

// The main window: three file panes, toolbar and status bar.
class TFormMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFormMain(QWidget *parent = nullptr);
};

} // namespace vexo
