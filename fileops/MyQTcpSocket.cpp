#include "fileops/MyQTcpSocket.h"

#include <QCoreApplication>

#include <limits>

MyQTcpSocket::MyQTcpSocket(QObject* parent)
    : QTcpSocket(parent)
{
}

bool MyQTcpSocket::isConnected() const
{
    return state() == QAbstractSocket::ConnectedState;
}

bool MyQTcpSocket::writeLine(const QString& text)
{
    if (!isConnected())
        return false;
    QByteArray line = text.toUtf8();
    line += '\n';
    return write(line) == line.size();
}

bool MyQTcpSocket::writeInt(qint64 value)
{
    return writeLine(QString::number(value));
}

bool MyQTcpSocket::writeRaw(const char* data, qint64 size)
{
    if (!isConnected())
        return false;
    return size == 0 || write(data, size) == size;
}

bool MyQTcpSocket::flushAll(int timeoutMs)
{
    while (bytesToWrite() > 0) {
        if (!isConnected() || !waitForBytesWritten(timeoutMs))
            return false;
    }
    return isConnected();
}

bool MyQTcpSocket::waitForMoreData()
{
    // Data that came before the peer closed stays readable; only a connection
    // that is gone with nothing new buffered ends the wait.
    const qint64 before = bytesAvailable();
    if (!isConnected())
        return false;
    waitForReadyRead(kWaitMs);
    QCoreApplication::processEvents();
    return bytesAvailable() > before || isConnected();
}

QString MyQTcpSocket::readLineText(bool* ok)
{
    while (!canReadLine()) {
        if (!waitForMoreData()) {
            *ok = false;
            return QString();
        }
    }
    QByteArray line = readLine();
    line.chop(1);
    *ok = true;
    return QString::fromUtf8(line);
}

qint64 MyQTcpSocket::readInt(bool* ok)
{
    const QString line = readLineText(ok);
    if (!*ok)
        return 0;
    bool number = false;
    const qint64 value = line.trimmed().toLongLong(&number);
    return number ? value : 0;
}

QByteArray MyQTcpSocket::readRaw(qint64 size, bool* ok)
{
    *ok = false;
    // A byte array holds at most 2 GiB; a larger announcement is no valid reply.
    if (size < 0 || size > std::numeric_limits<int>::max())
        return QByteArray();
    while (bytesAvailable() < size) {
        const qint64 before = bytesAvailable();
        if (!isConnected())
            return QByteArray();
        if (!waitForReadyRead(kWaitMs) && bytesAvailable() == before) {
            QCoreApplication::processEvents();
            return QByteArray();
        }
    }
    QByteArray data = read(size);
    *ok = data.size() == size;
    return data;
}
