#pragma once

#include <QDialog>
#include <QSize>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;

namespace vexo
{

class LanguageTable;
class ProfileFiles;
class Prompter;
class SettingsFile;
struct Settings;

// The setup dialog: the interface language, the local pane's start folder,
// grid lines, whether the view mode is remembered, the automatic connections
// at start-up, and the device link's port, speed, compression flag and how
// long a copy waits for a lost link.
//
// A fresh dialog is made for each opening and filled from `settings` at
// construction. Apply (butApply) stores every value into `settings` and then
// writes the eleven [Setting] entries and Language through `file`; Cancel, Escape and the
// close box change nothing. The caller reads SetupCancelled after exec() to
// learn which way it ended. Nothing is owned; everything must outlive the
// dialog. `profiles` is read only for the [Ports] mapping shown as the tool
// tip of cbComport. cbLanguage offers the language files found in
// `languageFolders` by their display names, and always the one in use.
class TFormSetup : public QDialog
{
    Q_OBJECT
public:
    // The buttons (at 383, 23 high) end a top-level layout's margin (11)
    // above the bottom: no empty band under them.
    static constexpr QSize ClientSize{356, 417};
    TFormSetup(Settings &settings, const LanguageTable &language, SettingsFile &file, ProfileFiles &profiles,
               Prompter &prompter, const QStringList &languageFolders = {}, QWidget *parent = nullptr);

    // Says on the automatic image mount which image the window opens and
    // where it was found (its tool tip).
    void showImageSource(const QString &text);

    // True until Apply: an opening that ends any other way counts as
    // cancelled.
    bool SetupCancelled = true;

    // Controls, by their designed names.
    QLabel *labLanguage;
    QComboBox *cbLanguage; // item data: the file name
    QGroupBox *GB_Option;
    QRadioButton *RB_Local;
    QLineEdit *edtPath;
    QToolButton *FlatButton1;
    QRadioButton *RB_No;
    QRadioButton *RB_LastPath;
    QFrame *Bevel1;
    QCheckBox *CB_GridLines;
    QCheckBox *CB_ViewStyle;
    QCheckBox *ckAutoVDisk;
    QGroupBox *GB_Rpc;
    QLabel *p1LabComPort;
    QComboBox *cbComport;
    QLabel *p1LabBaudrate;
    QComboBox *cbBaudrate;
    QCheckBox *ckCompress;
    QCheckBox *ckAutoRpc;
    QLabel *p1LabReconnect;
    QSpinBox *sbReconnect; // seconds
    QPushButton *butApply;
    QPushButton *butClose;

public slots:
    // Stores the values in the settings and the settings file, then closes
    // the dialog as applied. A failed write is reported by the settings
    // file's error handler once; the remaining entries are then skipped and
    // the values in memory stay changed.
    void butApplyClick();
    // Closes the dialog without storing anything.
    void butCloseClick();
    // Picks the fixed start folder into edtPath; a cancelled browse keeps
    // the text. Does not choose RB_Local.
    void FlatButton1Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void FormCreate();
    void showPortNodes();
    void fillLanguages(const QStringList &folders);

    Settings &m_settings;
    const LanguageTable &m_language;
    SettingsFile &m_file;
    ProfileFiles &m_profiles;
    Prompter &m_prompter;
};

} // namespace vexo
