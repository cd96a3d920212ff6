#pragma once

#include <QMimeData>

// The data of a drag out of an archive panel: URLs of files that do not
// exist yet. They are extracted only when a drop target really asks for the
// data (not while the drag is still moving), through dataRequested.
class MimeData : public QMimeData
{
    Q_OBJECT

public:
    MimeData() = default;

    QStringList formats() const override;

signals:
    void dataRequested(QString mimeType) const;

protected:
    QVariant retrieveData(const QString& mimeType, QVariant::Type type) const override;
};
