#pragma once

#include <QByteArray>
#include <QString>
#include <QTcpSocket>

// The elevated file server speaks in text lines with raw data blocks in
// between. Every read reports through *ok whether the value really arrived:
// a connection that is gone must never read as an answer.
class MyQTcpSocket : public QTcpSocket
{
    Q_OBJECT
public:
    explicit MyQTcpSocket(QObject* parent = nullptr);

    bool isConnected() const;

    // One UTF-8 line ended by "\n"; nothing is sent unless connected.
    bool writeLine(const QString& text);
    // The full decimal value, so offsets and sizes keep all 64 bits.
    bool writeInt(qint64 value);
    bool writeRaw(const char* data, qint64 size);
    // Waits until everything queued has gone out (or the connection broke).
    bool flushAll(int timeoutMs);

    QString readLineText(bool* ok);
    // A line that is no number reads as 0.
    qint64 readInt(bool* ok);
    // Exactly size bytes, or *ok false.
    QByteArray readRaw(qint64 size, bool* ok);

    static constexpr int kWaitMs = 30000;

private:
    bool waitForMoreData();
};
