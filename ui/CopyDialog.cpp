#include "ui/CopyDialog.h"

#include "engine/guiutils.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CopyDialog::CopyDialog(const QString& destination, E_FileMode mode, QWidget* parent)
    : QDialog(parent)
    , m_lblOperation(new QLabel(this))
    , m_cbDstDirName(new QComboBox(this))
    , m_pbSelectDir(new QPushButton(QStringLiteral("..."), this))
    , m_buttonBox(new QDialogButtonBox(this))
{
    setObjectName(QStringLiteral("CopyDialog"));
    m_lblOperation->setObjectName(QStringLiteral("lblOperation"));
    m_cbDstDirName->setObjectName(QStringLiteral("cbDstDirName"));
    m_pbSelectDir->setObjectName(QStringLiteral("pbSelectDir"));
    m_buttonBox->setObjectName(QStringLiteral("buttonBox"));

    switch (mode) {
    case FM_MOVE:
        setWindowTitle(tr("Move"));
        m_lblOperation->setText(tr("Move to:"));
        break;
    case FM_DELETE:
        setWindowTitle(tr("Delete"));
        m_lblOperation->setText(tr("Delete:"));
        break;
    case FM_COPY:
        setWindowTitle(tr("Copy"));
        m_lblOperation->setText(tr("Copy to:"));
        break;
    }

    m_cbDstDirName->setEditable(true);
    m_cbDstDirName->setDuplicatesEnabled(true);
    m_cbDstDirName->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_cbDstDirName->setMinimumContentsLength(40);
    m_cbDstDirName->addItem(correctPathToDisplay(destination));
    m_pbSelectDir->setFixedWidth(30);
    QPushButton* ok = m_buttonBox->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    m_buttonBox->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);

    auto* row = new QHBoxLayout;
    row->addWidget(m_cbDstDirName);
    row->addWidget(m_pbSelectDir);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblOperation);
    layout->addLayout(row);
    layout->addWidget(m_buttonBox);

    connect(m_pbSelectDir, &QPushButton::clicked, this, &CopyDialog::on_pbSelectDir_clicked);
    connect(m_buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    applyDialogStyle(this);
    adjustSize();
}

QString CopyDialog::getDestinationPath() const
{
    return m_cbDstDirName->currentText();
}

void CopyDialog::on_pbSelectDir_clicked()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Open Directory"), m_cbDstDirName->currentText(),
                                                             QFileDialog::ShowDirsOnly |
                                                                 QFileDialog::DontResolveSymlinks);
    if (!folder.isEmpty())
        m_cbDstDirName->setEditText(correctPathToDisplay(folder));
}
