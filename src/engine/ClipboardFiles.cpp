#include "engine/ClipboardFiles.h"

#include "engine/DeviceName.h"
#include "engine/common.h"
#include "platform/Clipboard.h"

#include <QMimeData>
#include <QUrl>

namespace vexo
{

namespace
{

QStringList localFiles(const QList<QUrl> &urls)
{
    QStringList paths;
    for (const QUrl &url : urls) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths << url.toLocalFile();
    }
    return paths;
}

QStringList gnomeCopiedFiles(const QByteArray &data)
{
    QList<QByteArray> lines = data.split('\n');
    // The first line says "copy" or "cut"; we never remove a source, so a
    // cut pastes as a copy.
    if (lines.isEmpty())
        return {};
    lines.removeFirst();
    QList<QUrl> urls;
    for (const QByteArray &line : lines) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            urls << QUrl::fromEncoded(trimmed);
    }
    return localFiles(urls);
}

} // namespace

QMimeData *FileListMimeData(const QStringList &names)
{
    if (names.isEmpty())
        return nullptr;
    auto *data = new QMimeData;
    bool allLocal = true;
    for (const QString &name : names)
        allLocal = allLocal && GetPathKind(name) == pkLocal;
    if (allLocal) {
        QList<QUrl> urls;
        QByteArray gnome("copy");
        for (const QString &name : names) {
            const QUrl url = QUrl::fromLocalFile(name);
            urls << url;
            gnome += '\n' + url.toEncoded();
        }
        data->setUrls(urls);
        data->setData(QLatin1String(GnomeCopiedFilesMimeType), gnome);
        data->setText(names.join(QLatin1Char('\n')));
        return data;
    }
    QByteArray own;
    QStringList text;
    for (const QString &name : names) {
        own += name.toUtf8() + '\0';
        text << BareDeviceName(name);
    }
    data->setData(QLatin1String(PaneNamesMimeType), own);
    data->setText(text.join(QLatin1Char('\n')));
    return data;
}

QStringList FileListFromMimeData(const QMimeData *data)
{
    if (!data)
        return {};
    if (data->hasFormat(QLatin1String(PaneNamesMimeType))) {
        QStringList names;
        // A name never holds a NUL, so empty pieces are no names (the one
        // after the last terminator, or damage).
        for (const QByteArray &piece : data->data(QLatin1String(PaneNamesMimeType)).split('\0')) {
            if (!piece.isEmpty())
                names << QString::fromUtf8(piece);
        }
        return names;
    }
    if (data->hasUrls())
        return localFiles(data->urls());
    if (data->hasFormat(QLatin1String(GnomeCopiedFilesMimeType)))
        return gnomeCopiedFiles(data->data(QLatin1String(GnomeCopiedFilesMimeType)));
    return {};
}

bool WriteClipboardFiles(Clipboard &clipboard, const QStringList &names)
{
    QMimeData *data = FileListMimeData(names);
    if (!data)
        return false;
    clipboard.setMimeData(data);
    return true;
}

bool ReadClipboardFiles(Clipboard &clipboard, QStringList &names)
{
    const QStringList found = FileListFromMimeData(clipboard.mimeData());
    if (found.isEmpty())
        return false;
    names = found;
    return true;
}

} // namespace vexo
