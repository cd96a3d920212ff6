#include "ui/MimeData.h"

#include "engine/guiutils.h"
#include "fileops/utils.h"
#include "ui/mainwindow.h"

#include <QDebug>

QStringList MimeData::formats() const
{
    QStringList result = QMimeData::formats();
    if (!result.contains(QStringLiteral("text/uri-list")))
        result << QStringLiteral("text/uri-list");
    return result;
}

QVariant MimeData::retrieveData(const QString& mimeType, QVariant::Type type) const
{
    qDebug().noquote() << "mime data requested. MimeType: " + mimeType;
    // While the button is held the drag is still moving: targets only look.
    if (isLeftButtonPressed())
        return QMimeData::retrieveData(mimeType, type);
    if (unixTimeStamp() - MainWindow::lastTimeLeftButtonWasPressed() < 100 || MainWindow::isDropEventHappenning())
        emit dataRequested(mimeType);
    return QMimeData::retrieveData(mimeType, type);
}
