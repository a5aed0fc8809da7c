// Writes the program's three sounds as 16-bit mono WAV files into the directory given:
// start.wav (a short rising pair), success.wav (a rising triad), failure.wav (two low falling
// tones). Synthesised so the project owns every byte it ships.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

struct Note {
  double hertz;
  int ms;
};

// Each note fades in and out over 5 ms so that no click sounds at its edges.
std::vector<int16_t> Synthesise(const std::vector<Note>& notes, double volume) {
  std::vector<int16_t> samples;
  for (const Note& n : notes) {
    const int count = kRate * n.ms / 1000;
    const int fade = kRate * 5 / 1000;
    for (int i = 0; i < count; ++i) {
      const double edge =
          std::min({1.0, static_cast<double>(i) / fade, static_cast<double>(count - i) / fade});
      const double value = std::sin(2 * kPi * n.hertz * i / kRate) * edge * volume;
      samples.push_back(static_cast<int16_t>(std::lround(value * 32767)));
    }
  }
  return samples;
}

void Put(std::ofstream& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& samples) {
  std::ofstream out(path, std::ios::binary);
  const auto data = static_cast<uint32_t>(samples.size() * 2);
  out << "RIFF";
  Put(out, 36 + data, 4);
  out << "WAVEfmt ";
  Put(out, 16, 4);         // format chunk size
  Put(out, 1, 2);          // PCM
  Put(out, 1, 2);          // mono
  Put(out, kRate, 4);      // sample rate
  Put(out, kRate * 2, 4);  // bytes per second
  Put(out, 2, 2);          // block align
  Put(out, 16, 2);         // bits per sample
  out << "data";
  Put(out, data, 4);
  for (int16_t s : samples) Put(out, static_cast<uint16_t>(s), 2);
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sounds DIRECTORY\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  const bool ok =
      WriteWav((dir / "start.wav").string(), Synthesise({{660, 70}, {880, 90}}, 0.4)) &&
      WriteWav((dir / "success.wav").string(),
               Synthesise({{523.25, 90}, {659.25, 90}, {783.99, 160}}, 0.4)) &&
      WriteWav((dir / "failure.wav").string(), Synthesise({{330, 180}, {220, 260}}, 0.45));
  if (!ok) std::fprintf(stderr, "make_sounds: cannot write into %s\n", argv[1]);
  return ok ? 0 : 1;
}
