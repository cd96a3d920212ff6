#pragma once

#include <QDialog>

class QLabel;

// The program's version and the versions of what it is built on: Qt, zlib
// and the archive engine (its library and the version it reports), or why
// the engine is not in use.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

    // The lines the dialog shows, as plain text.
    static QStringList versionLines();

private:
    QLabel* m_text = nullptr;
};
