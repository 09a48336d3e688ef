#include "engine/DeviceResult.h"

#include "engine/LanguageTable.h"
#include "engine/common.h"

#include <VexoFileClient.h>

namespace vexo
{

DeviceResult DeviceResult::FromLibrary(int code)
{
    using K = Kind;
    switch (code) {
    case 0:
        return DeviceResult();
    case VEXO_ERR_NOT_CONNECTED:
        return DeviceResult(K::NotConnected);
    case VEXO_ERR_TIMEOUT:
        return DeviceResult(K::TimedOut);
    case VEXO_ERR_NOT_FOUND:
        return DeviceResult(K::NotFound);
    case VEXO_ERR_BAD_NAME:
        return DeviceResult(K::BadName);
    case VEXO_ERR_EXISTS:
        return DeviceResult(K::Exists);
    case VEXO_ERR_STOPPED:
        return DeviceResult(K::Stopped);
    case VEXO_ERR_TRANSFER_FAILED:
        return DeviceResult(K::TransferFailed);
    case VEXO_ERR_LOCAL_IO:
        return DeviceResult(K::LocalIo);
    case VEXO_ERR_DEVICE_IO:
        return DeviceResult(K::DeviceIo);
    case VEXO_ERR_NO_SPACE:
        return DeviceResult(K::NoSpace);
    case VEXO_ERR_OTHER_DEVICE:
        return DeviceResult(K::OtherDevice);
    case VEXO_ERR_UNSUPPORTED:
        // Said as the number it always was: no entry of its own in the table.
        return DeviceResult(K::Unsupported, code);
    default:
        return DeviceResult(K::Other, code);
    }
}

DeviceResult DeviceResult::FromTransfer(int code)
{
    return code == 1 ? DeviceResult() : code >= 0 ? DeviceResult(Kind::Other, code) : FromLibrary(code);
}

QString DeviceResult::text(const LanguageTable &language) const
{
    const char *key = nullptr;
    switch (m_kind) {
    case Kind::Ok:
        return QString();
    case Kind::NotConnected:
        key = "NoDevice";
        break;
    case Kind::TimedOut:
        key = "NoResponse";
        break;
    case Kind::NotFound:
        key = "FileMissing";
        break;
    case Kind::BadName:
        key = "NameRefused";
        break;
    case Kind::Exists:
        key = "TargetExists";
        break;
    case Kind::Stopped:
        key = "Stopped";
        break;
    case Kind::TransferFailed:
        key = "TransferFailed";
        break;
    case Kind::LocalIo:
        key = "LocalIo";
        break;
    case Kind::DeviceIo:
        key = "DeviceIo";
        break;
    case Kind::NoSpace:
        key = "NoSpace";
        break;
    case Kind::OtherDevice:
        key = "OtherDevice";
        break;
    case Kind::Unsupported:
    case Kind::Other:
        return Filled(language.error(QStringLiteral("LinkError")), {QString::number(m_code)});
    }
    return language.error(QLatin1String(key));
}

} // namespace vexo
