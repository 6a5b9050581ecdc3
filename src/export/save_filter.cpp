#include "export/save_filter.h"

namespace orv {

std::string WithSaveExtension(const std::string& path, const std::string& extension) {
    auto lower = [](std::string s) {
        for (char& c : s) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        return s;
    };
    if (extension.empty()) return path;
    const size_t slash = path.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.find_last_of('.');
    // A leading dot names a hidden file, not an extension.
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    const std::string ext = hasExtension ? lower(path.substr(dot + 1)) : std::string();
    if (ext == lower(extension)) return path;
    if (ext == "wav" || ext == "mp3") return path.substr(0, dot + 1) + extension;
    return path + (hasExtension && ext.empty() ? "" : ".") + extension;
}

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
