#include "shell/ini_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <vector>

#include "platform/program_files.h"
#include "platform/replace_file.h"
#include "platform/text_file.h"

namespace orv {
namespace {

// One key of the file. Exactly one accessor is set: it says the key's type.
struct Key {
    const char* Section;
    const char* Name;
    bool& (*Flag)(Settings&);
    int32_t& (*Int)(Settings&);
    uint16_t& (*Word)(Settings&);
    std::string& (*Text)(Settings&);
};

// In the order they are written.
const std::array<Key, 17> Keys{{
    {"Save Format", "Wav", [](Settings& s) -> bool& { return s.SaveAsWav; }, nullptr, nullptr, nullptr},
    {"Save Format", "SamplePerSecond", nullptr, [](Settings& s) -> int32_t& { return s.Wav.WavSampleRate; },
     nullptr, nullptr},
    {"Save Format", "BitPerSample", nullptr, nullptr,
     [](Settings& s) -> uint16_t& { return s.Wav.WavBitsPerSample; }, nullptr},
    {"Save Format", "Channels", nullptr, nullptr, [](Settings& s) -> uint16_t& { return s.Wav.WavChannels; },
     nullptr},
    {"Save Format", "MP3", [](Settings& s) -> bool& { return s.SaveAsMp3; }, nullptr, nullptr, nullptr},
    {"Save Format", "BitRate", nullptr, [](Settings& s) -> int32_t& { return s.Mp3.Mp3BitRate; }, nullptr,
     nullptr},
    {"Save Format", "Mode", nullptr, [](Settings& s) -> int32_t& { return s.Mp3.Mp3Mode; }, nullptr, nullptr},
    {"Save Format", "VBR", [](Settings& s) -> bool& { return s.Mp3.Mp3Vbr; }, nullptr, nullptr, nullptr},
    {"Save Format", "MinBitRate", nullptr, [](Settings& s) -> int32_t& { return s.Mp3.Mp3MinBitRate; },
     nullptr, nullptr},
    {"Save Format", "MaxBitRate", nullptr, [](Settings& s) -> int32_t& { return s.Mp3.Mp3MaxBitRate; },
     nullptr, nullptr},
    {"Save Format", "VBRQuality", nullptr, [](Settings& s) -> int32_t& { return s.Mp3.Mp3VbrQuality; },
     nullptr, nullptr},
    {"Save Format", "Copyright", [](Settings& s) -> bool& { return s.Mp3.Mp3Copyright; }, nullptr, nullptr,
     nullptr},
    {"Save Format", "Original", [](Settings& s) -> bool& { return s.Mp3.Mp3Original; }, nullptr, nullptr,
     nullptr},
    {"Save Format", "Private", [](Settings& s) -> bool& { return s.Mp3.Mp3Private; }, nullptr, nullptr,
     nullptr},
    {"Output Folder", "Name", nullptr, nullptr, nullptr, [](Settings& s) -> std::string& { return s.OutputFolder; }},
    {"Recording Mode", "Index", nullptr, [](Settings& s) -> int32_t& { return s.RecordingModeIndex; }, nullptr,
     nullptr},
    {"Window Colors", "Color", nullptr, [](Settings& s) -> int32_t& { return s.ColourScheme; }, nullptr, nullptr},
}};

constexpr std::array<int32_t, 14> Mp3BitRates{32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return Lower(x) == Lower(y);
           });
}

std::string_view Trim(std::string_view v) {
    while (!v.empty() && IsBlank(v.front())) v.remove_prefix(1);
    while (!v.empty() && IsBlank(v.back())) v.remove_suffix(1);
    return v;
}

// "0x" and more: hexadecimal, at most 32 bits; else an optionally signed
// decimal within 32 bits. Anything else is not a number.
std::optional<int32_t> ParseInt(std::string_view v) {
    const bool hex = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
    if (hex) v.remove_prefix(2);
    else if (v.starts_with('+') && !v.starts_with("+-")) v.remove_prefix(1);  // from_chars takes no '+'
    const char* end = v.data() + v.size();
    uint32_t word = 0;
    int32_t n = 0;
    const auto r = hex ? std::from_chars(v.data(), end, word, 16) : std::from_chars(v.data(), end, n);
    if (r.ec != std::errc{} || r.ptr != end) return std::nullopt;
    return hex ? static_cast<int32_t>(word) : n;
}

// One line of the text: [begin, end) without its line ending, next the start
// of the following line. A section line has its name; a key line its name and value.
struct Line {
    size_t Begin = 0, End = 0, Next = 0;
    enum class Type { Other, Section, Key } Kind = Type::Other;
    std::string_view Name;
    size_t ValueBegin = 0;  // key lines: where the value starts (after "=" and blanks)
    std::string_view Value;
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        Line l;
        l.Begin = pos;
        const size_t nl = text.find('\n', pos);
        l.Next = nl == std::string_view::npos ? text.size() : nl + 1;
        l.End = nl == std::string_view::npos ? text.size() : nl;
        if (l.End > l.Begin && text[l.End - 1] == '\r') --l.End;
        const std::string_view body = text.substr(l.Begin, l.End - l.Begin);
        const std::string_view t = Trim(body);
        if (!t.empty() && t.front() == '[') {
            const size_t close = t.find(']');
            if (close != std::string_view::npos) {
                l.Kind = Line::Type::Section;
                l.Name = Trim(t.substr(1, close - 1));
            }
        } else if (const size_t eq = body.find('='); eq != std::string_view::npos) {
            l.Kind = Line::Type::Key;
            l.Name = Trim(body.substr(0, eq));
            size_t v = eq + 1;
            while (v < body.size() && IsBlank(body[v])) ++v;
            l.ValueBegin = l.Begin + v;
            l.Value = Trim(body.substr(v));
        }
        lines.push_back(l);
        pos = l.Next;
    }
    return lines;
}

// Where each of the program's keys and sections stands in the text.
struct Layout {
    std::vector<Line> Lines;
    // Per key: the line holding it in the first section of its name, or -1.
    std::array<long, Keys.size()> KeyLine{};
    // Per key: the first line of its section's first occurrence, -1 when absent,
    // and the last non-blank line of that section (the header when none).
    std::array<long, Keys.size()> SectionLine{};
    std::array<long, Keys.size()> SectionLast{};
};

Layout Analyse(std::string_view text) {
    Layout a;
    a.Lines = SplitLines(text);
    a.KeyLine.fill(-1);
    a.SectionLine.fill(-1);
    a.SectionLast.fill(-1);
    for (size_t k = 0; k < Keys.size(); ++k) {
        long section = -1;
        for (size_t i = 0; i < a.Lines.size(); ++i)
            if (a.Lines[i].Kind == Line::Type::Section && SameName(a.Lines[i].Name, Keys[k].Section)) {
                section = long(i);
                break;
            }
        if (section < 0) continue;
        a.SectionLine[k] = section;
        a.SectionLast[k] = section;
        for (size_t i = size_t(section) + 1; i < a.Lines.size(); ++i) {
            const Line& l = a.Lines[i];
            if (l.Kind == Line::Type::Section) break;
            if (!Trim(text.substr(l.Begin, l.End - l.Begin)).empty()) a.SectionLast[k] = long(i);
            if (l.Kind == Line::Type::Key && a.KeyLine[k] < 0 && SameName(l.Name, Keys[k].Name))
                a.KeyLine[k] = long(i);
        }
    }
    return a;
}

std::string ValueText(const Key& key, Settings& s) {
    if (key.Flag) return key.Flag(s) ? "1" : "0";
    if (key.Int) return std::to_string(key.Int(s));
    if (key.Word) return std::to_string(key.Word(s));
    const std::string& v = key.Text(s);
    // A line ending cannot be stored: such a folder reads back as empty (the home folder).
    if (v.find_first_of("\r\n") != std::string::npos) return {};
    // Blanks around a value and one pair of quotes are dropped on reading;
    // quoting keeps them.
    const bool quote = !v.empty() && (IsBlank(v.front()) || IsBlank(v.back()) ||
                                      (v.size() >= 2 && v.front() == '"' && v.back() == '"'));
    return quote ? "\"" + v + "\"" : v;
}

std::string LineEnding(std::string_view text) {
    const size_t nl = text.find('\n');
    return nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r' ? "\r\n" : "\n";
}

// Ends a last line that has no "\n". A file cut off after its "\r" needs only
// the "\n": a second "\r" would end up in the value read back.
void EndLastLine(std::string& out, const std::string& eol) {
    out += out.back() == '\r' ? std::string("\n") : eol;
}

}  // namespace

void ValidateSettings(Settings& s) {
    const Settings d;
    auto oneOf = [](int32_t v, std::initializer_list<int32_t> list) {
        return std::find(list.begin(), list.end(), v) != list.end();
    };
    auto bitRate = [](int32_t v) { return std::find(Mp3BitRates.begin(), Mp3BitRates.end(), v) != Mp3BitRates.end(); };
    if (!oneOf(s.Wav.WavSampleRate, {44100, 22050, 11025})) s.Wav.WavSampleRate = d.Wav.WavSampleRate;
    if (!oneOf(s.Wav.WavChannels, {2, 1})) s.Wav.WavChannels = d.Wav.WavChannels;
    if (!oneOf(s.Wav.WavBitsPerSample, {16, 8})) s.Wav.WavBitsPerSample = d.Wav.WavBitsPerSample;
    if (!bitRate(s.Mp3.Mp3BitRate)) s.Mp3.Mp3BitRate = d.Mp3.Mp3BitRate;
    if (!bitRate(s.Mp3.Mp3MinBitRate)) s.Mp3.Mp3MinBitRate = d.Mp3.Mp3MinBitRate;
    if (!bitRate(s.Mp3.Mp3MaxBitRate)) s.Mp3.Mp3MaxBitRate = d.Mp3.Mp3MaxBitRate;
    if (!oneOf(s.Mp3.Mp3Mode, {0, 1, 3})) s.Mp3.Mp3Mode = d.Mp3.Mp3Mode;
    if (s.Mp3.Mp3VbrQuality < 0 || s.Mp3.Mp3VbrQuality > 8) s.Mp3.Mp3VbrQuality = d.Mp3.Mp3VbrQuality;
    if (s.RecordingModeIndex < 0 || s.RecordingModeIndex > 7) s.RecordingModeIndex = d.RecordingModeIndex;
    if (s.ColourScheme < 1 || s.ColourScheme > 5) s.ColourScheme = d.ColourScheme;
    if (s.SaveAsWav == s.SaveAsMp3) {
        s.SaveAsWav = false;
        s.SaveAsMp3 = true;
    }
}

Settings ParseSettings(std::string_view text) {
    Settings s;
    if (text.size() > MaxSettingsFileBytes) return s;
    const Layout a = Analyse(text);
    for (size_t k = 0; k < Keys.size(); ++k) {
        if (a.KeyLine[k] < 0) continue;
        std::string_view v = a.Lines[size_t(a.KeyLine[k])].Value;
        const Key& key = Keys[k];
        if (key.Text) {
            if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
            key.Text(s) = std::string(v);
            continue;
        }
        const std::optional<int32_t> n = ParseInt(v);
        if (!n) continue;  // the default stays
        if (key.Flag) key.Flag(s) = *n != 0;
        if (key.Int) key.Int(s) = *n;
        if (key.Word) key.Word(s) = static_cast<uint16_t>(static_cast<uint32_t>(*n));  // modulo 65536
    }
    ValidateSettings(s);
    return s;
}

std::string MergeSettings(std::string_view text, const Settings& record) {
    Settings s = record;  // the accessors want a mutable record
    const Layout a = Analyse(text);
    const std::string eol = LineEnding(text);
    auto keyLine = [&](const Key& k) { return std::string(k.Name) + "=" + ValueText(k, s); };

    // Lines to add after line i (missing keys of a section that exists).
    std::vector<std::vector<size_t>> after(a.Lines.size());
    std::vector<size_t> newSectionKeys;
    for (size_t k = 0; k < Keys.size(); ++k) {
        if (a.KeyLine[k] >= 0) continue;
        if (a.SectionLine[k] >= 0) after[size_t(a.SectionLast[k])].push_back(k);
        else newSectionKeys.push_back(k);
    }
    std::vector<long> replace(a.Lines.size(), -1);
    for (size_t k = 0; k < Keys.size(); ++k)
        if (a.KeyLine[k] >= 0) replace[size_t(a.KeyLine[k])] = long(k);

    std::string out;
    out.reserve(text.size() + 512);
    for (size_t i = 0; i < a.Lines.size(); ++i) {
        const Line& l = a.Lines[i];
        if (replace[i] >= 0) {
            out.append(text.substr(l.Begin, l.ValueBegin - l.Begin));
            out += ValueText(Keys[size_t(replace[i])], s);
            out.append(text.substr(l.End, l.Next - l.End));
        } else {
            out.append(text.substr(l.Begin, l.Next - l.Begin));
        }
        if (!after[i].empty() && l.Next == text.size() && text.back() != '\n') EndLastLine(out, eol);
        for (size_t k : after[i]) out += keyLine(Keys[k]) + eol;
    }
    if (!newSectionKeys.empty() && !out.empty() && out.back() != '\n') EndLastLine(out, eol);
    const char* open = nullptr;
    for (size_t k : newSectionKeys) {
        if (!open || std::string_view(open) != Keys[k].Section) {
            open = Keys[k].Section;
            out += "[" + std::string(open) + "]" + eol;
        }
        out += keyLine(Keys[k]) + eol;
    }
    return out;
}

std::string LocateSettingsFile(const std::string& executablePath, const std::string& configHome,
                               const std::string& home) {
    const size_t slash = executablePath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : executablePath.substr(0, slash == 0 ? 1 : slash);
    // An installed program never writes beside itself, even where it could (as root).
    if (!executablePath.empty() && !platform::RunsInstalled(executablePath) && platform::folderWritable(folder))
        return executablePath + ".INI";
    const std::string base = !configHome.empty() ? configHome : home + "/.config";
    return base + "/orvane-recorder/orvane-recorder.INI";
}

Settings ReadSettingsFile(const std::string& path) {
    std::string text;
    if (platform::readTextFile(path, MaxSettingsFileBytes, text) != platform::TextRead::Ok) return Settings{};
    return ParseSettings(text);
}

bool WriteSettingsFile(const std::string& path, const Settings& s, std::string& error) {
    std::string text;
    const platform::TextRead r = platform::readTextFile(path, MaxSettingsFileBytes, text);
    std::string why;
    if (r == platform::TextRead::Ok || r == platform::TextRead::Missing) {
        const size_t slash = path.find_last_of('/');
        if (slash != std::string::npos && slash > 0 && !platform::makeDirs(path.substr(0, slash)))
            why = "the folder cannot be created";
        else if (platform::replaceFile(path, MergeSettings(text, s), why))
            return true;
    } else {
        why = r == platform::TextRead::TooBig ? "the file is too big to be rewritten safely"
                                              : "the file cannot be read";
    }
    error = "无法写入到 " + path + (why.empty() ? "" : "\n(" + why + ")");
    return false;
}

}  // namespace orv
