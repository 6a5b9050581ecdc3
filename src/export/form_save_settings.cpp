#include "export/form_save_settings.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <array>

namespace orv {

namespace {

constexpr std::array<int32_t, 14> BitRates{32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr std::array<int32_t, 3> SampleRates{44100, 22050, 11025};
constexpr std::array<int32_t, 3> ModeCodes{0, 1, 3};

int IndexOf(const auto& list, int32_t value) {
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == value) return int(i);
    return -1;
}

QComboBox* Combo(QWidget* parent, const char* name, const QStringList& items) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->addItems(items);
    return box;
}

QStringList BitRateItems() {
    QStringList items;
    for (int32_t r : BitRates) items << QString::number(r);
    return items;
}

QCheckBox* Check(QWidget* parent, const char* name, const QString& text) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    return box;
}

}  // namespace

TFormSaveSettings::TFormSaveSettings(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormSaveSettings");
    setWindowTitle(QStringLiteral("保存设置"));
    setFixedSize(347, 266);

    PControlFormat = new QTabWidget(this);
    PControlFormat->setObjectName("PControlFormat");
    TSheetWav = new QWidget;
    TSheetWav->setObjectName("TSheetWav");
    TSheetMP3 = new QWidget;
    TSheetMP3->setObjectName("TSheetMP3");
    PControlFormat->addTab(TSheetWav, QStringLiteral("wav"));
    PControlFormat->addTab(TSheetMP3, QStringLiteral("MP3"));

    CBoxWavSpsIn = Combo(TSheetWav, "CBoxWavSpsIn",
                         {QStringLiteral("44100 Hz"), QStringLiteral("22050 Hz "), QStringLiteral("11025 Hz ")});
    CBoxWavChannel = Combo(TSheetWav, "CBoxWavChannel", {QStringLiteral("立体声"), QStringLiteral("单声道")});
    CBoxWavBits = Combo(TSheetWav, "CBoxWavBits", {QStringLiteral("16位"), QStringLiteral("8  bit")});
    auto* wav = new QGridLayout(TSheetWav);
    wav->addWidget(new QLabel(QStringLiteral("采样率"), TSheetWav), 0, 0);
    wav->addWidget(CBoxWavSpsIn, 0, 1);
    wav->addWidget(new QLabel(QStringLiteral("声道"), TSheetWav), 1, 0);
    wav->addWidget(CBoxWavChannel, 1, 1);
    wav->addWidget(new QLabel(QStringLiteral("位数"), TSheetWav), 2, 0);
    wav->addWidget(CBoxWavBits, 2, 1);
    wav->setRowStretch(3, 1);

    CBoxMP3BitRate = Combo(TSheetMP3, "CBoxMP3BitRate", BitRateItems());
    CBoxMP3Mode = Combo(TSheetMP3, "CBoxMP3Mode",
                        {QStringLiteral("立体声"), QStringLiteral("扩展立体声"), QStringLiteral("单声道")});
    GBoxVBR = new QGroupBox(QStringLiteral("VBR - 变码率"), TSheetMP3);
    GBoxVBR->setObjectName("GBoxVBR");
    ChBoxEnableVBR = Check(GBoxVBR, "ChBoxEnableVBR", QStringLiteral("启用变码率"));
    CBoxMinBRate = Combo(GBoxVBR, "CBoxMinBRate", BitRateItems());
    CBoxMaxBRate = Combo(GBoxVBR, "CBoxMaxBRate", BitRateItems());
    TBarVBRQuality = new QSlider(Qt::Horizontal, GBoxVBR);
    TBarVBRQuality->setObjectName("TBarVBRQuality");
    TBarVBRQuality->setRange(0, 8);
    TBarVBRQuality->setPageStep(1);
    TBarVBRQuality->setTickPosition(QSlider::TicksBelow);
    auto* vbr = new QGridLayout(GBoxVBR);
    vbr->addWidget(ChBoxEnableVBR, 0, 0, 1, 3);
    vbr->addWidget(CBoxMinBRate, 1, 0);
    vbr->addWidget(new QLabel(QStringLiteral("-"), GBoxVBR), 1, 1, Qt::AlignCenter);
    vbr->addWidget(CBoxMaxBRate, 1, 2);
    auto* quality = new QHBoxLayout;
    quality->addWidget(new QLabel(QStringLiteral("较好"), GBoxVBR));
    quality->addWidget(TBarVBRQuality, 1);
    quality->addWidget(new QLabel(QStringLiteral("较快"), GBoxVBR));
    vbr->addLayout(quality, 2, 0, 1, 3);
    ChBoxCopyright = Check(TSheetMP3, "ChBoxCopyright", QStringLiteral("版权"));
    ChBoxOriginal = Check(TSheetMP3, "ChBoxOriginal", QStringLiteral("原始"));
    ChBoxPrivate = Check(TSheetMP3, "ChBoxPrivate", QStringLiteral("私有"));
    auto* mp3 = new QGridLayout(TSheetMP3);
    mp3->addWidget(new QLabel(QStringLiteral("kbps"), TSheetMP3), 0, 0);
    mp3->addWidget(CBoxMP3BitRate, 0, 1);
    mp3->addWidget(CBoxMP3Mode, 0, 2);
    mp3->addWidget(GBoxVBR, 1, 0, 1, 3);
    auto* flags = new QHBoxLayout;
    flags->addWidget(ChBoxCopyright);
    flags->addWidget(ChBoxOriginal);
    flags->addWidget(ChBoxPrivate);
    mp3->addLayout(flags, 2, 0, 1, 3);

    BitBtnOK = new QPushButton(QStringLiteral("确定"), this);
    BitBtnOK->setObjectName("BitBtnOK");
    BitBtnOK->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(PControlFormat, 1);
    layout->addWidget(BitBtnOK, 0, Qt::AlignRight);

    connect(PControlFormat, &QTabWidget::currentChanged, this, [this] { PControlFormatChange(); });
    connect(BitBtnOK, &QPushButton::clicked, this, [this] { BitBtnOKClick(); });
    FormCreate();
}

void TFormSaveSettings::FormCreate() {
    CBoxWavSpsIn->setCurrentIndex(0);
    CBoxWavChannel->setCurrentIndex(0);
    CBoxWavBits->setCurrentIndex(0);
    CBoxMP3BitRate->setCurrentIndex(8);
    CBoxMP3Mode->setCurrentIndex(0);
    CBoxMinBRate->setCurrentIndex(0);
    CBoxMaxBRate->setCurrentIndex(13);
}

void TFormSaveSettings::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TFormSaveSettings::CaptionSheets() {
    const bool wav = PControlFormat->currentWidget() == TSheetWav;
    PControlFormat->setTabText(0, wav ? QStringLiteral("WAV") : QStringLiteral("wav"));
    PControlFormat->setTabText(1, wav ? QStringLiteral("mp3") : QStringLiteral("MP3"));
}

void TFormSaveSettings::FormShow() {
    if (!format_.SaveAsWav || !format_.Wav || !format_.Mp3) return;
    loading_ = true;
    PControlFormat->setCurrentWidget(*format_.SaveAsWav ? TSheetWav : TSheetMP3);
    CaptionSheets();
    const WavParameters& w = *format_.Wav;
    if (const int i = IndexOf(SampleRates, w.WavSampleRate); i >= 0) CBoxWavSpsIn->setCurrentIndex(i);
    CBoxWavChannel->setCurrentIndex(w.WavChannels == 1 ? 1 : 0);
    CBoxWavBits->setCurrentIndex(w.WavBitsPerSample == 8 ? 1 : 0);
    const Mp3Parameters& m = *format_.Mp3;
    CBoxMP3BitRate->setCurrentIndex(std::max(0, IndexOf(BitRates, m.Mp3BitRate)));
    if (const int i = IndexOf(ModeCodes, m.Mp3Mode); i >= 0) CBoxMP3Mode->setCurrentIndex(i);
    const int minIndex = IndexOf(BitRates, m.Mp3MinBitRate);
    const int maxIndex = IndexOf(BitRates, m.Mp3MaxBitRate);
    CBoxMinBRate->setCurrentIndex(minIndex < 0 ? 0 : minIndex);
    CBoxMaxBRate->setCurrentIndex(maxIndex < 0 ? 13 : maxIndex);
    TBarVBRQuality->setValue(m.Mp3VbrQuality);
    ChBoxEnableVBR->setChecked(m.Mp3Vbr);
    ChBoxCopyright->setChecked(m.Mp3Copyright);
    ChBoxOriginal->setChecked(m.Mp3Original);
    ChBoxPrivate->setChecked(m.Mp3Private);
    loading_ = false;
}

void TFormSaveSettings::PControlFormatChange() {
    CaptionSheets();
    if (loading_ || !format_.SaveAsWav || !format_.SaveAsMp3) return;
    *format_.SaveAsWav = PControlFormat->currentWidget() == TSheetWav;
    *format_.SaveAsMp3 = !*format_.SaveAsWav;
}

void TFormSaveSettings::BitBtnOKClick() { accept(); }

void TFormSaveSettings::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TFormSaveSettings::FormClose() {
    if (!format_.SaveAsWav || !format_.SaveAsMp3 || !format_.Wav || !format_.Mp3) return;
    *format_.SaveAsWav = PControlFormat->currentWidget() == TSheetWav;
    *format_.SaveAsMp3 = !*format_.SaveAsWav;
    WavParameters& w = *format_.Wav;
    const int rate = CBoxWavSpsIn->currentIndex();
    w.WavSampleRate = rate >= 0 && rate < int(SampleRates.size()) ? SampleRates[size_t(rate)] : 44100;
    w.WavChannels = CBoxWavChannel->currentIndex() == 1 ? 1 : 2;
    w.WavBitsPerSample = CBoxWavBits->currentIndex() == 1 ? 8 : 16;
    Mp3Parameters& m = *format_.Mp3;
    m.Mp3BitRate = CBoxMP3BitRate->currentText().toInt();
    m.Mp3MinBitRate = CBoxMinBRate->currentText().toInt();
    m.Mp3MaxBitRate = CBoxMaxBRate->currentText().toInt();
    const int mode = CBoxMP3Mode->currentIndex();
    m.Mp3Mode = mode >= 0 && mode < int(ModeCodes.size()) ? ModeCodes[size_t(mode)] : 0;
    m.Mp3Vbr = ChBoxEnableVBR->isChecked();
    m.Mp3VbrQuality = TBarVBRQuality->value();
    m.Mp3Copyright = ChBoxCopyright->isChecked();
    m.Mp3Original = ChBoxOriginal->isChecked();
    m.Mp3Private = ChBoxPrivate->isChecked();
}

}  // namespace orv
