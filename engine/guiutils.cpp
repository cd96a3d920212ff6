#include "engine/guiutils.h"

#include "fileops/FileUtils.h"

#include <QComboBox>
#include <QDebug>
#include <QDialog>
#include <QIcon>
#include <QTextDocument>
#include <QTextEdit>

#include <cmath>

void applyDialogStyle(QDialog* dialog)
{
    dialog->setWindowIcon(QIcon(QStringLiteral(":ico/Quenvar.ico")));
    dialog->setWindowFlags(dialog->windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

void selectComboBoxItem(QComboBox* combo, const QVariant& value)
{
    for (int i = 0; i < combo->count(); ++i) {
        const QVariant data = combo->itemData(i);
        if (data.isValid() && data == value) {
            combo->setCurrentIndex(i);
            return;
        }
    }
}

QVariant getSelectedComboBoxItem(QComboBox* combo)
{
    const int index = combo->currentIndex();
    if (index < 0)
        return QVariant(0);
    return combo->itemData(index);
}

void setTextEditText(QTextEdit* edit, const QString& text)
{
    edit->setPlainText(text);
    // Before the edit is first shown it has given its document no width, and
    // the document would measure nothing.
    QTextDocument* document = edit->document();
    if (document->pageSize().width() <= 0)
        document->setTextWidth(edit->viewport()->width());
    edit->setFixedHeight(int(std::lround(document->size().height())) + 3);
}

QString correctPathToDisplay(const QString& path)
{
    QString result = path;
    normalizeFilePath(result);
    return result;
}

bool SendMail(const QString& archivePath)
{
    qDebug().noquote() << "no mail program to hand the archive to:" << archivePath;
    return true;
}
