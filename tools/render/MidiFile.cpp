#include "tools/render/MidiFile.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace tessaron {
namespace {

// Larger files are not music but a mistake; refuse before reading them whole.
constexpr std::streamoff kMaxFileBytes = std::streamoff{256} << 20;

class ByteReader {
public:
    ByteReader(std::span<const uint8_t> bytes, size_t begin, size_t end)
        : data(bytes), pos(begin), limit(end) {}

    bool AtEnd() const { return pos >= limit; }
    size_t Position() const { return pos; }
    size_t Remaining() const { return limit - pos; }

    bool U8(uint8_t& v)
    {
        if (pos >= limit) {
            return false;
        }
        v = data[pos++];
        return true;
    }

    bool U16(uint16_t& v)
    {
        if (Remaining() < 2) {
            return false;
        }
        v = static_cast<uint16_t>((data[pos] << 8) | data[pos + 1]);
        pos += 2;
        return true;
    }

    bool U32(uint32_t& v)
    {
        if (Remaining() < 4) {
            return false;
        }
        v = (uint32_t{data[pos]} << 24) | (uint32_t{data[pos + 1]} << 16) | (uint32_t{data[pos + 2]} << 8) |
            uint32_t{data[pos + 3]};
        pos += 4;
        return true;
    }

    // Variable-length quantity: at most four bytes, 28 bits.
    bool Vlq(uint32_t& v, bool& tooLong)
    {
        v = 0;
        tooLong = false;
        for (int i = 0; i < 4; ++i) {
            uint8_t b = 0;
            if (!U8(b)) {
                return false;
            }
            v = (v << 7) | (b & 0x7Fu);
            if ((b & 0x80u) == 0) {
                return true;
            }
        }
        tooLong = true;
        return false;
    }

    bool Skip(size_t n)
    {
        if (Remaining() < n) {
            return false;
        }
        pos += n;
        return true;
    }

    const uint8_t* Here() const { return data.data() + pos; }

private:
    std::span<const uint8_t> data;
    size_t pos;
    size_t limit;
};

std::string Hex(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFFu);
    return buf;
}

bool IsChunkIdChar(uint8_t c) { return c >= 0x20 && c <= 0x7E; }

int DataBytesOf(uint8_t status)
{
    const uint8_t kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}

bool ParseTrack(ByteReader r, int trackIndex, MidiFile& out, std::string& error)
{
    const std::string where = "track " + std::to_string(trackIndex + 1) + ": ";
    uint64_t tick = 0;
    uint8_t runningStatus = 0;
    while (!r.AtEnd()) {
        uint32_t delta = 0;
        bool tooLong = false;
        if (!r.Vlq(delta, tooLong)) {
            error = where + (tooLong ? "delta time longer than four bytes" : "truncated delta time");
            return false;
        }
        tick += delta;
        if (tick > kMidiMaxTick) {
            error = where + "event time out of range";
            return false;
        }
        uint8_t first = 0;
        if (!r.U8(first)) {
            error = where + "truncated event";
            return false;
        }

        if (first == 0xFF) {
            uint8_t type = 0;
            uint32_t length = 0;
            if (!r.U8(type) || !r.Vlq(length, tooLong)) {
                error = where + "truncated meta event";
                return false;
            }
            if (length > r.Remaining()) {
                error = where + "meta event length past the end of the track";
                return false;
            }
            const uint8_t* p = r.Here();
            r.Skip(length);
            if (type == 0x2F) {
                out.endTick = std::max(out.endTick, tick);
                return true;  // anything after the end marker is not part of the track
            }
            if (type == 0x51) {
                if (length != 3) {
                    error = where + "tempo event with length " + std::to_string(length);
                    return false;
                }
                const uint32_t us = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | uint32_t{p[2]};
                if (us == 0) {
                    error = where + "tempo of zero";
                    return false;
                }
                out.tempoChanges.push_back({tick, us});
            } else if (type == 0x58) {
                if (length < 2 || p[0] == 0 || p[1] > 6) {
                    error = where + "malformed time signature";
                    return false;
                }
                out.timeSignatures.push_back({tick, p[0], 1 << p[1]});
            }
            continue;
        }

        if (first == 0xF0 || first == 0xF7) {
            uint32_t length = 0;
            if (!r.Vlq(length, tooLong)) {
                error = where + "truncated system exclusive event";
                return false;
            }
            if (!r.Skip(length)) {
                error = where + "system exclusive length past the end of the track";
                return false;
            }
            continue;
        }

        if (first >= 0xF0) {
            error = where + "unexpected status byte " + Hex(first);
            return false;
        }

        MidiFileEvent e;
        e.tick = tick;
        uint8_t data[2] = {0, 0};
        int have = 0;
        if (first & 0x80) {
            runningStatus = first;
        } else {
            if (runningStatus == 0) {
                error = where + "running status with no previous status";
                return false;
            }
            data[have++] = first;
        }
        e.status = runningStatus;
        const int need = DataBytesOf(e.status);
        while (have < need) {
            if (!r.U8(data[have])) {
                error = where + "truncated channel message";
                return false;
            }
            if (data[have] & 0x80) {
                error = where + "status byte " + Hex(data[have]) + " where a data byte belongs";
                return false;
            }
            ++have;
        }
        e.data1 = data[0];
        e.data2 = data[1];
        e.size = static_cast<uint8_t>(1 + need);
        out.events.push_back(e);
        out.endTick = std::max(out.endTick, tick);
    }
    return true;  // a missing end-of-track marker is common and harmless
}

}  // namespace

bool ParseMidiFile(std::span<const uint8_t> bytes, MidiFile& out, std::string& error)
{
    out = MidiFile{};
    ByteReader r(bytes, 0, bytes.size());
    uint8_t id[4];
    for (auto& c : id) {
        if (!r.U8(c)) {
            error = "not a MIDI file (too short)";
            return false;
        }
    }
    if (!std::equal(id, id + 4, "MThd")) {
        error = "not a MIDI file (no MThd header)";
        return false;
    }
    uint32_t headerLength = 0;
    uint16_t format = 0;
    uint16_t tracks = 0;
    uint16_t division = 0;
    if (!r.U32(headerLength) || headerLength < 6 || headerLength > r.Remaining()) {
        error = "truncated or malformed MThd header";
        return false;
    }
    const size_t headerEnd = r.Position() + headerLength;
    r.U16(format);
    r.U16(tracks);
    r.U16(division);
    r.Skip(headerEnd - r.Position());
    if (format > 1) {
        error = "MIDI file format " + std::to_string(format) + " is not supported (only 0 and 1)";
        return false;
    }
    if (tracks == 0 || (format == 0 && tracks != 1)) {
        error = "format " + std::to_string(format) + " file with " + std::to_string(tracks) + " tracks";
        return false;
    }
    if (division & 0x8000) {
        const int fps = -static_cast<int8_t>(division >> 8);
        if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || (division & 0xFF) == 0) {
            error = "malformed SMPTE time division";
            return false;
        }
    } else if (division == 0) {
        error = "time division of zero";
        return false;
    }
    out.format = format;
    out.trackCount = tracks;
    out.division = division;

    int found = 0;
    while (found < tracks) {
        if (r.AtEnd()) {
            error = "truncated file: " + std::to_string(tracks) + " tracks announced, " + std::to_string(found) +
                    " found";
            return false;
        }
        uint32_t length = 0;
        for (auto& c : id) {
            if (!r.U8(c)) {
                error = "truncated chunk header";
                return false;
            }
        }
        if (!std::all_of(id, id + 4, IsChunkIdChar)) {
            error = "bad chunk id at byte " + std::to_string(r.Position() - 4);
            return false;
        }
        if (!r.U32(length)) {
            error = "truncated chunk header";
            return false;
        }
        if (length > r.Remaining()) {
            error = "chunk length past the end of the file";
            return false;
        }
        const size_t begin = r.Position();
        r.Skip(length);
        if (!std::equal(id, id + 4, "MTrk")) {
            continue;  // unknown chunks are allowed and skipped
        }
        if (!ParseTrack(ByteReader(bytes, begin, begin + length), found, out, error)) {
            return false;
        }
        ++found;
    }

    auto byTick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
    std::stable_sort(out.events.begin(), out.events.end(), byTick);
    std::stable_sort(out.tempoChanges.begin(), out.tempoChanges.end(), byTick);
    std::stable_sort(out.timeSignatures.begin(), out.timeSignatures.end(), byTick);
    return true;
}

bool LoadMidiFile(const std::string& path, MidiFile& out, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read MIDI file '" + path + "'";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        error = "cannot read MIDI file '" + path + "'";
        return false;
    }
    if (size > kMaxFileBytes) {
        error = "MIDI file '" + path + "' is too large";
        return false;
    }
    in.seekg(0, std::ios::beg);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        error = "cannot read MIDI file '" + path + "'";
        return false;
    }
    std::string why;
    if (!ParseMidiFile(bytes, out, why)) {
        error = "MIDI file '" + path + "': " + why;
        return false;
    }
    return true;
}

}  // namespace tessaron
