#include "ui/AboutDialog.h"

#include "engine/guiutils.h"
#include "engine/zipapi.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include <zlib.h>

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowTitle(tr("About Quenvar"));
    applyDialogStyle(this);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("<h2>Quenvar</h2>") +
                                 tr("A two-panel file manager and archiver.").toHtmlEscaped(),
                             this);
    layout->addWidget(title);
    m_text = new QLabel(versionLines().join(QLatin1Char('\n')), this);
    m_text->setObjectName(QStringLiteral("lbVersions"));
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setTextFormat(Qt::PlainText);
    layout->addWidget(m_text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

QStringList AboutDialog::versionLines()
{
    QStringList lines;
    lines << tr("Version %1").arg(QStringLiteral(QUENVAR_VERSION));
    lines << tr("Qt %1 (built with %2)").arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR));
    lines << tr("zlib %1").arg(QString::fromLatin1(zlibVersion()));
    const EngineStatus engine = engineStatus();
    if (engine.loaded)
        lines << tr("Archive engine %1 (%2)").arg(engine.version, engine.path);
    else
        lines << tr("Archive engine not loaded from %1: %2").arg(engine.path, engine.failure);
    return lines;
}
