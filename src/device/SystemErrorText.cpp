#include "device/SystemErrorText.h"

#include <cerrno>
#include <cstring>

namespace vexo
{

QString SystemErrorText(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
        return QStringLiteral("不存在");
    case EACCES:
    case EPERM:
        return QStringLiteral("权限不够");
    case EBUSY:
        return QStringLiteral("正被其他程序占用");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("设备未连接");
    case EISDIR:
        return QStringLiteral("这是一个文件夹");
    case ENOTDIR:
        return QStringLiteral("路径中有一段不是文件夹");
    case ELOOP:
        return QStringLiteral("符号链接太多（可能指向自身）");
    case EIO:
        return QStringLiteral("输入/输出错误");
    case EROFS:
        return QStringLiteral("只读文件系统");
    case ENAMETOOLONG:
        return QStringLiteral("路径太长");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("打开的文件太多");
    default:
        break;
    }
    // strerror's text follows the C locale the program runs in (English).
    return QStringLiteral("%1 (%2)").arg(QString::fromLocal8Bit(std::strerror(errorNumber))).arg(errorNumber);
}

} // namespace vexo
