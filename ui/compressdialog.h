#pragma once

#include "app/CCompressOptions.h"

#include <QDialog>

#include <cstdint>
#include <initializer_list>
#include <memory>

class QComboBox;

namespace Ui {
class CompressDialog;
}

// "Packing options": edits a compress request before the archive is created
// or updated. Every opening starts from the request; nothing is remembered.
class CompressDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CompressDialog(QWidget* parent = nullptr);
    ~CompressDialog() override;

    void setCompressOptions(CompressOptions& options);
    // The edited request; complete once the dialog was accepted.
    CompressOptions getCompressOptions() const;

    // Proposes an archive name with the format's extension.
    void setArchiveName(const ZipFormatInfo& format);
    // Refills levels, methods, update and paths modes for the chosen format.
    void applyFormatSelection();
    // Puts a special folder's display name in place of its file name.
    void addSpecialNameAwarenessIfNeeded(QString& name) const;

    // Reads a volume size text ("650M - CD", "1k", ...): true with the size in
    // bytes, -1 for an empty text (one file); false for a text that gives no
    // size above 999 bytes.
    static bool parseVolumeSize(const QString& text, int64_t* size);

private slots:
    void on_pbOk_pressed();
    void on_pbCancel_pressed();
    void on_pbOpenDialog_pressed();
    void on_cbPassword_toggled(bool checked);
    void on_cbFormat_currentIndexChanged(int index);

private:
    struct Choice
    {
        bool offered;
        const char* text;
        int data;
    };
    // Refills the combo with the offered choices, in the given order.
    void fillChoices(QComboBox* combo, std::initializer_list<Choice> choices);
    const ZipFormatInfo& currentFormat() const;
    bool isFormatOffered(const ZipFormatInfo& format) const;

    std::unique_ptr<Ui::CompressDialog> ui;
    CompressOptions m_options;
};
