#include "dialogs/setup.h"

#include "engine/DevicePorts.h"
#include "engine/LanguageTable.h"
#include "engine/Settings.h"
#include "engine/SettingsFile.h"
#include "platform/Prompter.h"
#include "widgets/WindowPlacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>

namespace vexo
{

namespace
{

const int PortCount = 11; // USB, COM1..COM10
const int Speeds[] = {9600, 19200, 38400, 57600, 115200};

template <typename T> T *named(T *widget, const char *name, int x, int y, int w, int h)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

} // namespace

TFormSetup::TFormSetup(Settings &settings, const LanguageTable &language, SettingsFile &file,
                       ProfileFiles &profiles, Prompter &prompter, const QStringList &languageFolders,
                       QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_settings(settings), m_language(language), m_file(file), m_profiles(profiles), m_prompter(prompter)
{
    setObjectName(QStringLiteral("FormSetup"));
    setFixedSize(ClientSize);
    setModal(true);
    buildControls();
    fillLanguages(languageFolders);
    FormCreate();
}

void TFormSetup::buildControls()
{
    // Created in tab order; every caption comes from the language table in FormCreate.
    labLanguage = named(new QLabel(this), "labLanguage", 43, 14, 90, 16);
    cbLanguage = named(new QComboBox(this), "cbLanguage", 136, 10, 199, 21);
    GB_Option = named(new QGroupBox(this), "GB_Option", 18, 42, 317, 161);
    RB_Local = named(new QRadioButton(GB_Option), "RB_Local", 18, 22, 200, 17);
    edtPath = named(new QLineEdit(GB_Option), "edtPath", 38, 45, 219, 21);
    FlatButton1 = named(new QToolButton(GB_Option), "FlatButton1", 267, 45, 20, 20);
    RB_No = named(new QRadioButton(GB_Option), "RB_No", 19, 70, 145, 17);
    RB_LastPath = named(new QRadioButton(GB_Option), "RB_LastPath", 170, 70, 140, 17);
    Bevel1 = named(new QFrame(GB_Option), "Bevel1", 2, 99, 313, 2);
    CB_GridLines = named(new QCheckBox(GB_Option), "CB_GridLines", 19, 106, 125, 17);
    CB_ViewStyle = named(new QCheckBox(GB_Option), "CB_ViewStyle", 147, 106, 165, 17);
    ckAutoVDisk = named(new QCheckBox(GB_Option), "ckAutoVDisk", 19, 130, 290, 17);
    GB_Rpc = named(new QGroupBox(this), "GB_Rpc", 18, 212, 317, 162);
    p1LabComPort = named(new QLabel(GB_Rpc), "p1LabComPort", 25, 26, 90, 16);
    cbComport = named(new QComboBox(GB_Rpc), "cbComport", 118, 22, 107, 21);
    p1LabBaudrate = named(new QLabel(GB_Rpc), "p1LabBaudrate", 25, 53, 90, 16);
    cbBaudrate = named(new QComboBox(GB_Rpc), "cbBaudrate", 118, 49, 108, 21);
    ckCompress = named(new QCheckBox(GB_Rpc), "ckCompress", 18, 77, 290, 17);
    ckAutoRpc = named(new QCheckBox(GB_Rpc), "ckAutoRpc", 18, 103, 290, 17);
    p1LabReconnect = named(new QLabel(GB_Rpc), "p1LabReconnect", 25, 132, 190, 16);
    sbReconnect = named(new QSpinBox(GB_Rpc), "sbReconnect", 218, 128, 70, 21);
    butApply = named(new QPushButton(this), "butApply", 169, 383, 75, 23);
    butClose = named(new QPushButton(this), "butClose", 257, 383, 75, 23);

    FlatButton1->setAutoRaise(true);
    FlatButton1->setIcon(
        QIcon::fromTheme(QStringLiteral("folder-open"), style()->standardIcon(QStyle::SP_DirOpenIcon)));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    for (int port = 0; port < PortCount; ++port)
        cbComport->addItem(DevicePortName(port));
    for (int speed : Speeds)
        cbBaudrate->addItem(QString::number(speed));
    // The same bounds as the settings file's.
    sbReconnect->setRange(0, 3600);

    connect(butApply, &QPushButton::clicked, this, &TFormSetup::butApplyClick);
    connect(butClose, &QPushButton::clicked, this, &TFormSetup::butCloseClick);
    connect(FlatButton1, &QToolButton::clicked, this, &TFormSetup::FlatButton1Click);
    showPortNodes();
}

void TFormSetup::FormCreate()
{
    const Settings &s = m_settings;
    // The three choices share one exclusive group, so with both Pathed and
    // LastPath stored the later one is what shows.
    if (s.Pathed) {
        RB_Local->setChecked(true);
        edtPath->setText(s.Path);
    }
    if (s.LastPath)
        RB_LastPath->setChecked(true);
    if (!s.Pathed && !s.LastPath)
        RB_No->setChecked(true);
    CB_GridLines->setChecked(s.GridLines);
    CB_ViewStyle->setChecked(s.ViewMode != 0);
    cbComport->setCurrentIndex(s.Comport >= 0 && s.Comport < PortCount ? s.Comport : -1);
    cbBaudrate->setCurrentIndex(cbBaudrate->findText(QString::number(s.Baudrate)));
    ckCompress->setChecked(s.Compress == 1);
    ckAutoRpc->setChecked(s.AutoRpc);
    sbReconnect->setValue(s.ReconnectSeconds);
    ckAutoVDisk->setChecked(s.AutoVDisk);

    setWindowTitle(m_language.toolBar(QStringLiteral("Setup")));
    labLanguage->setText(m_language.window(QStringLiteral("Language")));
    GB_Option->setTitle(m_language.setup(QStringLiteral("Option")));
    RB_Local->setText(m_language.setup(QStringLiteral("LocalPath")));
    RB_No->setText(m_language.setup(QStringLiteral("DefaultPath")));
    FlatButton1->setToolTip(m_language.setup(QStringLiteral("Browse")));
    RB_LastPath->setText(m_language.setup(QStringLiteral("Recordpath")));
    CB_GridLines->setText(m_language.setup(QStringLiteral("GridLineView")));
    CB_ViewStyle->setText(m_language.setup(QStringLiteral("SaveView")));
    ckAutoVDisk->setText(m_language.setup(QStringLiteral("AutoVDiskStartup")));
    GB_Rpc->setTitle(m_language.setup(QStringLiteral("RpcOption")));
    p1LabComPort->setText(m_language.setup(QStringLiteral("ComPort")));
    p1LabBaudrate->setText(m_language.setup(QStringLiteral("Baudrate")));
    ckCompress->setText(m_language.setup(QStringLiteral("Compress")));
    ckAutoRpc->setText(m_language.setup(QStringLiteral("AutoRpcStartup")));
    p1LabReconnect->setText(m_language.window(QStringLiteral("ReconnectWait")));
    butApply->setText(WithAccelerator(m_language.other(QStringLiteral("Ok")), u'O'));
    butClose->setText(WithAccelerator(m_language.other(QStringLiteral("Cancel")), u'C'));
}

void TFormSetup::fillLanguages(const QStringList &folders)
{
    bool current = false;
    for (const LanguageFileInfo &file : FindLanguageFiles(m_profiles, folders)) {
        cbLanguage->addItem(file.displayName, file.file);
        current = current || file.file == m_settings.Language;
    }
    // A file that is not found any more stays chosen, so Apply keeps it.
    if (!current)
        cbLanguage->addItem(m_settings.Language, m_settings.Language);
    cbLanguage->setCurrentIndex(cbLanguage->findData(m_settings.Language));
}

void TFormSetup::showPortNodes()
{
    QStringList lines;
    for (int port = 0; port < PortCount; ++port) {
        const QString node = ResolveDevicePath(m_profiles, m_file.path(), port);
        cbComport->setItemData(port, node, Qt::ToolTipRole);
        lines << DevicePortName(port) + QStringLiteral(": ") + node;
    }
    cbComport->setToolTip(lines.join(QLatin1Char('\n')));
}

void TFormSetup::butApplyClick()
{
    Settings &s = m_settings;
    // A start folder that is not there would only fail at the next start:
    // say so now, and keep the one that was stored.
    const QString typed = edtPath->text();
    if (RB_Local->isChecked() && typed != s.Path && !QFileInfo(typed).isDir()) {
        m_prompter.ask(Filled(m_language.status(QStringLiteral("NoSuchFolder")), {typed}),
                       m_language.message(QStringLiteral("WarningTitle")), PromptButtons::Ok,
                       PromptIcon::Warning);
        edtPath->setText(s.Path);
        return;
    }
    // With nothing selected (a stored value outside the lists) the stored
    // port and speed stay; the link always needs both.
    if (cbComport->currentIndex() >= 0)
        s.Comport = cbComport->currentIndex();
    if (cbBaudrate->currentIndex() >= 0)
        s.Baudrate = cbBaudrate->currentText().toInt();
    s.Compress = ckCompress->isChecked() ? 1 : 0;
    s.AutoRpc = ckAutoRpc->isChecked();
    s.ReconnectSeconds = sbReconnect->value();
    s.AutoVDisk = ckAutoVDisk->isChecked();
    if (RB_No->isChecked()) {
        s.Pathed = false;
        s.LastPath = false;
        s.Path.clear();
    } else {
        s.Pathed = RB_Local->isChecked();
        s.Path = s.Pathed ? edtPath->text() : QString();
        s.LastPath = RB_LastPath->isChecked();
    }
    s.GridLines = CB_GridLines->isChecked();
    if (!CB_ViewStyle->isChecked())
        s.ViewMode = 0;
    const QString language = cbLanguage->currentData().toString();
    const bool languageChanged = !language.isEmpty() && language != s.Language;
    if (languageChanged)
        s.Language = language;

    // A file that refuses one write refuses the rest: stop at the first, so
    // the user sees the failure once.
    [[maybe_unused]] const bool written =
        m_file.writeInt(QStringLiteral("Comport"), s.Comport) &&
        m_file.writeInt(QStringLiteral("Baudrate"), s.Baudrate) &&
        m_file.writeInt(QStringLiteral("Compress"), s.Compress) &&
        m_file.writeBool(QStringLiteral("AutoRpc"), s.AutoRpc) &&
        m_file.writeBool(QStringLiteral("AutoVDisk"), s.AutoVDisk) &&
        m_file.writeBool(QStringLiteral("GridLines"), s.GridLines) &&
        m_file.writeInt(QStringLiteral("ViewStyle"), s.ViewMode) &&
        m_file.writeBool(QStringLiteral("Pathed"), s.Pathed) &&
        m_file.writeString(QStringLiteral("Path"), s.Path) &&
        m_file.writeBool(QStringLiteral("LastPath"), s.LastPath) &&
        m_file.writeInt(QStringLiteral("ReconnectSeconds"), s.ReconnectSeconds) &&
        (!languageChanged || m_file.writeString(QStringLiteral("Language"), s.Language));

    SetupCancelled = false;
    accept();
}

void TFormSetup::butCloseClick()
{
    SetupCancelled = true;
    reject();
}

void TFormSetup::FlatButton1Click()
{
    const QString folder =
        m_prompter.browseFolder(m_language.window(QStringLiteral("BrowseFolder")), QString());
    if (!folder.isEmpty())
        edtPath->setText(QDir::toNativeSeparators(folder));
}

void TFormSetup::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CenterOnScreen(*this);
}

void TFormSetup::showImageSource(const QString &text)
{
    ckAutoVDisk->setToolTip(text);
}

} // namespace vexo
