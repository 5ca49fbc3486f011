#pragma once
// Writes interleaved double frames to a WAV file, 24-bit PCM or 32-bit float.
#include <cstdint>
#include <string>

namespace tessaron {

class WavWriter {
public:
    WavWriter() = default;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;
    ~WavWriter();

    bool Open(const std::string& path, int sampleRate, int channels, bool floatSamples, std::string& error);
    // Samples outside -1..1 clip in PCM files; float files keep them.
    bool Write(const double* interleaved, int64_t frames, std::string& error);
    bool Close(std::string& error);

private:
    void* file = nullptr;  // SNDFILE*, kept out of this header
    int channelCount = 0;
    std::string filePath;
};

}  // namespace tessaron
