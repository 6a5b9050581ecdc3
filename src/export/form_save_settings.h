#pragma once
// The save-format dialog: a WAV sheet and an MP3 sheet; the active sheet is
// the chosen format. It edits the settings' save-format fields when it closes
// (the format itself already when the sheet changes).
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>

#include "export/save_job.h"

namespace orv {

class TFormSaveSettings : public QDialog {
    Q_OBJECT
public:
    explicit TFormSaveSettings(QWidget* parent = nullptr);

    // The record the dialog shows and stores; set before it is first shown.
    void Bind(const SaveFormatRef& format) { format_ = format; }

    void FormCreate();
    void FormShow();
    void PControlFormatChange();
    void BitBtnOKClick();
    void FormClose();

    QTabWidget* PControlFormat = nullptr;
    QWidget* TSheetWav = nullptr;
    QWidget* TSheetMP3 = nullptr;
    QComboBox* CBoxWavSpsIn = nullptr;
    QComboBox* CBoxWavChannel = nullptr;
    QComboBox* CBoxWavBits = nullptr;
    QComboBox* CBoxMP3BitRate = nullptr;
    QComboBox* CBoxMP3Mode = nullptr;
    QGroupBox* GBoxVBR = nullptr;
    QCheckBox* ChBoxEnableVBR = nullptr;
    QComboBox* CBoxMinBRate = nullptr;
    QComboBox* CBoxMaxBRate = nullptr;
    QSlider* TBarVBRQuality = nullptr;
    QCheckBox* ChBoxCopyright = nullptr;
    QCheckBox* ChBoxOriginal = nullptr;
    QCheckBox* ChBoxPrivate = nullptr;
    QPushButton* BitBtnOK = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;  // every way of closing passes here

private:
    void CaptionSheets();

    SaveFormatRef format_;
    bool loading_ = false;
};

}  // namespace orv
