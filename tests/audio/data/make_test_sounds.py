#!/usr/bin/python3
"""Makes the test sounds of this folder with programs this project did not write: Python's
`wave` module, SoX, oggenc/oggdec (vorbis-tools), flac, lame and mpg123. Run it here; see
README.md."""

import os
import struct
import subprocess
import wave

HERE = os.path.dirname(os.path.abspath(__file__))


# The sample patterns; ../AudioTestSupport.h computes the same values.
def pattern8(i, channel):
    return (i * 37 + 11) % 256 if channel == 0 else (i * 53 + 200) % 256


def pattern16(i, channel):
    return (i * 4099 + 12345) % 65536 - 32768 if channel == 0 else (i * 8191 + 777) % 65536 - 32768


def frames(bits, channels, count):
    out = bytearray()
    for i in range(count):
        for c in range(channels):
            if bits == 8:
                out.append(pattern8(i, c))
            else:
                out += struct.pack("<h", pattern16(i, c))
    return bytes(out)


def write_wave(name, bits, channels, hertz, count):
    with wave.open(os.path.join(HERE, name), "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(bits // 8)
        w.setframerate(hertz)
        w.writeframes(frames(bits, channels, count))


def read(name):
    with open(os.path.join(HERE, name), "rb") as f:
        return f.read()


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def insert_before_data(source, name, chunk):
    """A copy of `source` with `chunk` placed before its "data" chunk and the RIFF size mended."""
    data = read(source)
    at = data.index(b"data")
    out = data[:at] + chunk + data[at:]
    write(name, out[:4] + struct.pack("<I", len(out) - 8) + out[8:])


def run(*command):
    subprocess.run(command, check=True, cwd=HERE)


def main():
    # PCM WAVs from Python's wave module, at several rates and with odd frame counts.
    write_wave("wav_mono8_8000.wav", 8, 1, 8000, 301)
    write_wave("wav_stereo8_11025.wav", 8, 2, 11025, 200)
    write_wave("wav_mono16_22050.wav", 16, 1, 22050, 250)
    write_wave("wav_stereo16_44100.wav", 16, 2, 44100, 181)
    write_wave("wav_mono24_8000.wav", 24, 1, 8000, 50)  # PCM tag with 24 bits over 16-bit data

    # The same patterns written by SoX from raw bytes.
    write("pattern_stereo8.raw", frames(8, 2, 160))
    write("pattern_mono16.raw", frames(16, 1, 160))
    run("sox", "-D", "-R", "-t", "raw", "-r", "16000", "-e", "unsigned-integer", "-b", "8", "-c", "2", "pattern_stereo8.raw",
        "wav_stereo8_16000_sox.wav")
    run("sox", "-D", "-R", "-t", "raw", "-r", "48000", "-e", "signed-integer", "-b", "16", "-c", "1", "pattern_mono16.raw",
        "wav_mono16_48000_sox.wav")
    os.remove(os.path.join(HERE, "pattern_stereo8.raw"))
    os.remove(os.path.join(HERE, "pattern_mono16.raw"))
    # Wide formats converted to 16 bits on load: 32-bit float (tag 3, 18-byte format chunk) and
    # 24-bit (SoX writes the extensible format tag); SoX's own 16-bit conversion is the reference.
    run("sox", "-D", "-R", "-n", "-r", "8000", "-c", "1", "-e", "floating-point", "-b", "32", "wav_float32.wav",
        "synth", "0.01", "sine", "440")
    run("sox", "-D", "-R", "-n", "-r", "8000", "-c", "2", "-b", "24", "wav_24bit_sox.wav", "synth", "0.01", "sine", "440")
    for name in ("wav_float32", "wav_24bit_sox", "wav_mono24_8000"):
        run("sox", "-D", "-R", name + ".wav", "-t", "raw", "-e", "signed-integer", "-b", "16", "-L", name + ".raw")

    # Edited copies of wav_mono16_22050.wav: an 18-byte format chunk (a zero extension size),
    # a LIST chunk before "data", and an odd-sized chunk with no pad byte after it.
    data = read("wav_mono16_22050.wav")
    fmt = data.index(b"fmt ")
    edited = data[:fmt + 4] + struct.pack("<I", 18) + data[fmt + 8:fmt + 24] + b"\0\0" + data[fmt + 24:]
    write("wav_fmt18.wav", edited[:4] + struct.pack("<I", len(edited) - 8) + edited[8:])
    info = b"INFO" + b"ISFT" + struct.pack("<I", 6) + b"tests\0"
    insert_before_data("wav_mono16_22050.wav", "wav_list_chunk.wav", b"LIST" + struct.pack("<I", len(info)) + info)
    insert_before_data("wav_mono16_22050.wav", "wav_odd_chunk.wav", b"abcd" + struct.pack("<I", 3) + b"xyz")

    # Ogg Vorbis files by oggenc from SoX tones, with fixed serial numbers, and their decoding
    # by oggdec (16-bit signed little-endian raw) as the reference.
    run("sox", "-D", "-R", "-n", "-r", "22050", "-c", "1", "-b", "16", "tone_mono.wav", "synth", "0.2", "sine", "440")
    run("sox", "-D", "-R", "-n", "-r", "44100", "-c", "2", "-b", "16", "tone_stereo.wav", "synth", "0.15", "sine", "330",
        "sine", "550")
    run("sox", "-D", "-R", "-n", "-r", "22050", "-c", "3", "-b", "16", "tone_3ch.wav", "synth", "0.05", "sine", "440")
    run("oggenc", "-Q", "-q", "2", "-s", "1", "-o", "ogg_mono_22050.ogg", "tone_mono.wav")
    run("oggenc", "-Q", "-q", "2", "-s", "2", "-o", "ogg_stereo_44100.ogg", "tone_stereo.wav")
    run("oggenc", "-Q", "-q", "0", "-s", "3", "-o", "ogg_3ch.ogg", "tone_3ch.wav")
    for name in ("tone_mono.wav", "tone_stereo.wav", "tone_3ch.wav"):
        os.remove(os.path.join(HERE, name))
    write("ogg_chained.ogg", read("ogg_mono_22050.ogg") + read("ogg_stereo_44100.ogg"))

    # FLAC by flac and MP3 by lame from SoX tones; `flac -d` and mpg123 decode the references
    # (16-bit signed little-endian raw). One FLAC holds 24-bit samples, one MP3 an ID3v2 tag.
    run("sox", "-D", "-R", "-n", "-r", "22050", "-c", "1", "-b", "16", "tone_mono.wav", "synth", "0.3", "sine", "440")
    run("sox", "-D", "-R", "-n", "-r", "44100", "-c", "2", "-b", "16", "tone_stereo.wav", "synth", "0.25", "sine", "330",
        "sine", "550")
    run("sox", "-D", "-R", "-n", "-r", "48000", "-c", "2", "-b", "24", "tone_24.wav", "synth", "0.1", "sine", "1000")
    run("flac", "-s", "-f", "-o", "flac_mono_22050.flac", "tone_mono.wav")
    run("flac", "-s", "-f", "-o", "flac_stereo_44100.flac", "tone_stereo.wav")
    run("flac", "-s", "-f", "-o", "flac_24bit_48000.flac", "tone_24.wav")
    run("lame", "--quiet", "-b", "64", "tone_mono.wav", "mp3_mono_22050.mp3")
    run("lame", "--quiet", "-b", "128", "--add-id3v2", "--tt", "tone", "tone_stereo.wav", "mp3_stereo_44100.mp3")
    for name in ("tone_mono.wav", "tone_stereo.wav", "tone_24.wav"):
        os.remove(os.path.join(HERE, name))
    for name in ("flac_mono_22050", "flac_stereo_44100"):
        run("flac", "-s", "-f", "-d", "--force-raw-format", "--endian=little", "--sign=signed", "-o", name + ".raw",
            name + ".flac")
    for name in ("mp3_mono_22050", "mp3_stereo_44100"):
        run("mpg123", "-q", "-e", "s16", "-O", name + ".raw", name + ".mp3")
    for name in ("ogg_mono_22050", "ogg_stereo_44100"):
        run("oggdec", "-Q", "-R", "-b", "16", "-e", "0", "-s", "1", "-o", name + ".raw", name + ".ogg")

    # What each file must load as: FRAMES HERTZ FORMAT, or "null".
    def ogg_frames(name, channels):  # of any reference decoding
        return os.path.getsize(os.path.join(HERE, name + ".raw")) // (2 * channels)

    lines = [
        "wav_mono8_8000.wav 301 8000 1",
        "wav_stereo8_11025.wav 200 11025 4",
        "wav_mono16_22050.wav 250 22050 2",
        "wav_stereo16_44100.wav 181 44100 5",
        "wav_stereo8_16000_sox.wav 160 16000 4",
        "wav_mono16_48000_sox.wav 160 48000 2",
        "wav_fmt18.wav 250 22050 2",
        "wav_list_chunk.wav 250 22050 2",
        "wav_odd_chunk.wav 250 22050 2",
        "wav_mono24_8000.wav 33 8000 2",  # the 100 data bytes hold 33 whole 24-bit frames
        "wav_float32.wav 80 8000 2",
        "wav_24bit_sox.wav 80 8000 5",
        "ogg_mono_22050.ogg %d 22050 2" % ogg_frames("ogg_mono_22050", 1),
        "ogg_stereo_44100.ogg %d 44100 5" % ogg_frames("ogg_stereo_44100", 2),
        "ogg_chained.ogg %d 22050 2" % ogg_frames("ogg_mono_22050", 1),
        "ogg_3ch.ogg null",
        "flac_mono_22050.flac 6615 22050 2",
        "flac_stereo_44100.flac 11025 44100 5",
        "flac_24bit_48000.flac 4800 48000 5",
        "mp3_mono_22050.mp3 %d 22050 2" % ogg_frames("mp3_mono_22050", 1),
        "mp3_stereo_44100.mp3 %d 44100 5" % ogg_frames("mp3_stereo_44100", 2),
    ]
    write("expected.txt", ("\n".join(lines) + "\n").encode())


if __name__ == "__main__":
    main()
