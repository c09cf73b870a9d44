// Writes the client's message sound: a short two-note chime, 16-bit mono PCM
// at 22,050 Hz in a WAV file. Run by the build; the file goes beside the
// program as voice/MsgSound.wav.
//
//   make_msg_sound <output.wav>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

void Put16(std::vector<unsigned char>& out, uint16_t v)
{
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void Put32(std::vector<unsigned char>& out, uint32_t v)
{
    Put16(out, static_cast<uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<uint16_t>(v >> 16));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_msg_sound <output.wav>\n");
        return 2;
    }
    const int rate = 22050;
    const double notes[2] = {1046.5, 1568.0};  // C6, G6
    const double noteSeconds = 0.12;
    std::vector<int16_t> samples;
    for (double freq : notes) {
        const int n = static_cast<int>(rate * noteSeconds);
        for (int i = 0; i < n; ++i) {
            const double t = static_cast<double>(i) / rate;
            const double envelope = std::exp(-t * 18.0) * std::min(1.0, i / 60.0);
            samples.push_back(static_cast<int16_t>(12000.0 * envelope * std::sin(2 * M_PI * freq * t)));
        }
    }
    std::vector<unsigned char> wav;
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    for (char c : {'R', 'I', 'F', 'F'}) wav.push_back(static_cast<unsigned char>(c));
    Put32(wav, 36 + dataBytes);
    for (char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}) wav.push_back(static_cast<unsigned char>(c));
    Put32(wav, 16);
    Put16(wav, 1);  // PCM
    Put16(wav, 1);  // mono
    Put32(wav, rate);
    Put32(wav, rate * 2);
    Put16(wav, 2);
    Put16(wav, 16);
    for (char c : {'d', 'a', 't', 'a'}) wav.push_back(static_cast<unsigned char>(c));
    Put32(wav, dataBytes);
    for (int16_t s : samples) Put16(wav, static_cast<uint16_t>(s));
    FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    const bool ok = std::fwrite(wav.data(), 1, wav.size(), f) == wav.size();
    return std::fclose(f) == 0 && ok ? 0 : 1;
}
