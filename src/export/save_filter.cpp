#include "export/save_filter.h"

namespace orv {

SaveFilter UpdateSaveFilter(bool saveAsWav, const WavParameters& wav, const Mp3Parameters& mp3) {
    if (saveAsWav) {
        return {std::to_string(wav.WavSampleRate) + "Hz " + std::to_string(wav.WavBitsPerSample) + "bit " +
                    (wav.WavChannels == 1 ? "mono " : "stereo ") + "(*.wav)|*.WAV",
                "wav"};
    }
    std::string mode;
    switch (mp3.Mp3Mode) {
    case 0: mode = "stereo "; break;
    case 1: mode = "joint stereo "; break;
    case 3: mode = "mono "; break;
    default: break;
    }
    const std::string rate = mp3.Mp3Vbr ? "VBR " + std::to_string(mp3.Mp3MinBitRate) + "-" +
                                              std::to_string(mp3.Mp3MaxBitRate) + " kbps "
                                        : std::to_string(mp3.Mp3BitRate) + " kbps ";
    return {rate + mode + "(*.mp3)|*.MP3", "mp3"};
}

}  // namespace orv
