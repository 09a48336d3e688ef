#include "app/StatusTexts.h"

namespace vexo::StatusTexts
{

QString NoSuchFolder(const QString &path)
{
    return QStringLiteral("找不到文件夹：%1").arg(path);
}

QString LinkLost(const QString &why)
{
    return QStringLiteral("与掌上机的连接已断开：%1").arg(why);
}

QString LinkTimedOut()
{
    return QStringLiteral("设备没有应答");
}

QString LinkClosed()
{
    return QStringLiteral("连接被关闭");
}

QString DeviceNotConnected()
{
    return QStringLiteral("无法粘贴：掌上机未连接");
}

QString ImageNotMounted()
{
    return QStringLiteral("无法粘贴：模拟器磁盘未连接");
}

QString ClipboardEmpty()
{
    return QStringLiteral("无法粘贴：剪贴板中没有文件");
}

QString RenameTooLong(const QString &name, int maxBytes)
{
    return QStringLiteral("不能改名为 %1：名字超过 %2 字节").arg(name).arg(maxBytes);
}

QString RenameNameTaken(const QString &name)
{
    return QStringLiteral("不能改名为 %1：已有同名文件").arg(name);
}

QString RenameBadCharacters(const QString &name)
{
    return QStringLiteral("不能改名为 %1：名字含有不允许的字符").arg(name);
}

QString RenameRefused(const QString &name)
{
    return QStringLiteral("不能改名为 %1").arg(name);
}

QString CannotOpen(const QString &path)
{
    return QStringLiteral("没有可以打开 %1 的程序").arg(path);
}

QString FormatFailed()
{
    return QStringLiteral("格式化失败");
}

} // namespace vexo::StatusTexts
