#include "core/test_media.h"

#include "core/test_names.h"

#include <windows.h>

namespace {

void Put16(std::string *out, unsigned long value) {
    out->push_back(static_cast<char>(value & 0xFF));
    out->push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string *out, unsigned long value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

struct Medium {
    const char *extensions[2]; // NULL where there are fewer
    std::string (*bytes)();
};

const Medium kMedia[] = {
    // vgmstream lists wav but opens a plain PCM WAV under lwav, its own name
    // for one, which leaves .wav to the player's own plug-in.
    {{"wav", "lwav"}, PcmWave},
    {{"raw", NULL}, AdlibRaw},
};

} // namespace

std::string PcmWave() {
    const unsigned long kRate = 8000;
    const unsigned long kSamples = 400;
    std::string samples;
    // A triangle of 200 Hz, at about a thirtieth of full scale.
    for (unsigned long i = 0; i < kSamples; ++i) {
        long phase = static_cast<long>(i % 40);
        long level = (phase < 20 ? phase : 40 - phase) - 10;
        Put16(&samples, static_cast<unsigned long>(level * 100) & 0xFFFF);
    }
    // The canonical header: plug-ins that check that the RIFF size matches
    // the file's refuse anything else.
    std::string wave = "RIFF";
    Put32(&wave, 36 + samples.size());
    wave += "WAVEfmt ";
    Put32(&wave, 16);
    Put16(&wave, 1); // PCM
    Put16(&wave, 1); // channels
    Put32(&wave, kRate);
    Put32(&wave, kRate * 2); // bytes a second
    Put16(&wave, 2);         // bytes a sample
    Put16(&wave, 16);        // bits a sample
    wave += "data";
    Put32(&wave, samples.size());
    return wave + samples;
}

std::string AdlibRaw() {
    // The signature, then the divisor of the PC's 1193180 Hz timer that
    // paces the ticks: 11932 gives 100 a second.
    std::string raw = "RAWADATA";
    Put16(&raw, 11932);
    // Pairs of a value and where it goes: an OPL2 register; 0, a pause of
    // that many ticks; 0xFF with 0xFF, the end.
    static const unsigned char kPairs[][2] = {
        {0x01, 0x20}, {0x01, 0x23}, // channel 0's two operators: frequency multiple 1
        {0x10, 0x40}, {0x00, 0x43}, // their levels: the modulator softer, the carrier full
        {0xF0, 0x60}, {0xF0, 0x63}, // fast attack, no decay
        {0x77, 0x80}, {0x77, 0x83}, // sustain and release
        {0x41, 0xA0}, {0x32, 0xB0}, // F-number 0x241 in block 4, about 440 Hz, key on
        {50, 0x00},                 // half a second
        {0x12, 0xB0},               // key off
        {10, 0x00},                 // the release
        {0xFF, 0xFF},
    };
    for (const unsigned char *pair : kPairs) {
        raw += static_cast<char>(pair[0]);
        raw += static_cast<char>(pair[1]);
    }
    // A tag block whose title is empty. Without one, AdPlug's RAW player
    // leaves its title unset, and the plug-in may show whatever that held
    // instead of the file's name.
    raw += '\x1A';
    raw += '\0';
    return raw;
}

std::vector<TestFile> TestFilesFor(const std::string &block, size_t count) {
    std::vector<std::string> all = FirstExtensions(block, static_cast<size_t>(-1));
    std::vector<TestFile> files;
    for (const Medium &medium : kMedia) {
        for (const char *fits : medium.extensions) {
            for (const std::string &extension : all) {
                if (fits != NULL && lstrcmpiA(extension.c_str(), fits) == 0) {
                    files.push_back({extension, medium.bytes()});
                }
            }
        }
    }
    size_t media = files.size();
    std::vector<std::string> first = FirstExtensions(block, count);
    if (first.empty()) {
        first.push_back("mp3");
    }
    for (const std::string &extension : first) {
        bool taken = false;
        for (size_t i = 0; i < media; ++i) {
            taken = taken || lstrcmpiA(files[i].extension.c_str(), extension.c_str()) == 0;
        }
        if (!taken) {
            files.push_back({extension, std::string()});
        }
    }
    return files;
}
