#include "tools/render/WavWriter.h"

#include <sndfile.h>

namespace tessaron {

WavWriter::~WavWriter()
{
    if (file) {
        sf_close(static_cast<SNDFILE*>(file));
    }
}

bool WavWriter::Open(const std::string& path, int sampleRate, int channels, bool floatSamples, std::string& error)
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | (floatSamples ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_24);
    if (!sf_format_check(&info)) {
        error = "cannot write a WAV file with " + std::to_string(channels) + " channels at " +
                std::to_string(sampleRate) + " Hz";
        return false;
    }
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        error = "cannot write '" + path + "': " + sf_strerror(nullptr);
        return false;
    }
    // Without clipping, out-of-range doubles wrap around in integer formats.
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    file = f;
    channelCount = channels;
    filePath = path;
    return true;
}

bool WavWriter::Write(const double* interleaved, int64_t frames, std::string& error)
{
    auto* f = static_cast<SNDFILE*>(file);
    if (!f) {
        error = "no output file open";
        return false;
    }
    if (sf_writef_double(f, interleaved, frames) != frames) {
        error = "writing '" + filePath + "' failed: " + sf_strerror(f);
        return false;
    }
    return true;
}

bool WavWriter::Close(std::string& error)
{
    auto* f = static_cast<SNDFILE*>(file);
    file = nullptr;
    if (!f) {
        return true;
    }
    sf_write_sync(f);
    if (sf_close(f) != 0) {
        error = "closing '" + filePath + "' failed";
        return false;
    }
    return true;
}

}  // namespace tessaron
