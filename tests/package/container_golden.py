#!/usr/bin/env python3
# Makes the "mvm-" golden files of tests/data from first principles, independent of
# our own codec and cipher: images built byte by byte, the -lh5- payload taken from
# a jlha archive, Blowfish from OpenSSL. Run from tests/data.
import struct, subprocess, os, random
def le(v, n): return (v & (1 << 8*n) - 1).to_bytes(n, 'little')
def image(entries, count=None):
    out = bytes(range(1, 9)) + le(len(entries) if count is None else count, 4)
    for name, data in entries:
        out += le(len(name), 2) + name + le(len(data), 4) + data
    return out
# A tiny standard MIDI file: one track, a note on and off, end of track.
track = bytes.fromhex('00903C40') + bytes.fromhex('8160803C00') + bytes.fromhex('00FF2F00')
midi = b'MThd' + struct.pack('>IHHH', 6, 0, 1, 96) + b'MTrk' + struct.pack('>I', len(track)) + track
ctr = b'[0]\r\nTime=0\r\nVolume=8\r\n[1]\r\nTime=1250\r\nVolume=5\r\n'
# A RIFF WAVE voice track: MPEG Layer-3 format record, fact chunk, and frame-like data.
fmt = struct.pack('<HHIIHHHHIHHH', 0x55, 2, 44100, 16000, 1, 0, 12, 1, 2, 417, 1, 1393)
rnd = random.Random(3)
frames = b''.join(b'\xff\xfb\x90\x64' + bytes(rnd.randrange(256) for _ in range(120)) + bytes(293) for _ in range(4))
body = b'WAVE' + b'fmt ' + le(len(fmt), 4) + fmt + b'fact' + le(4, 4) + le(4608, 4) + b'data' + le(len(frames), 4) + frames
wave = b'RIFF' + le(len(body), 4) + body
mail = [(b'BGMusic', midi), (b'CtrInfo', ctr), (b'Mp3File', wave)]
img = image(mail)
V, I = 'valid/', 'invalid/'
os.makedirs(V, exist_ok=True); os.makedirs(I, exist_ok=True)
open('image.bin', 'wb').write(img)
def put(path, data): open(path, 'wb').write(data)
put(V + 'mvm-plain.mvm', b'  ' + img)
# The compressed payload from a different -lh5- encoder: jlha's archive (level 2 header) minus its header.
if os.path.exists('img.lzh'): os.remove('img.lzh')
subprocess.run(['jlha', 'ao5', 'img.lzh', 'image.bin'], check=True, capture_output=True)
lzh = open('img.lzh', 'rb').read()
assert lzh[2:7] == b'-lh5-' and lzh[20] == 2
hsize = struct.unpack('<H', lzh[0:2])[0]
csize = struct.unpack('<I', lzh[7:11])[0]
assert struct.unpack('<I', lzh[11:15])[0] == len(img)
lh5 = le(len(img), 4) + lzh[hsize:hsize + csize]
put(V + 'mvm-compressed-jlha.mvm', b'& ' + lh5)
# Enciphered with a 16-byte key by OpenSSL's Blowfish; our halves are little-endian words.
key = b'MurmelVoiceMail!'
def swap(b): return b''.join(b[i:i+4][::-1] for i in range(0, len(b), 4))
def bf(data):
    return subprocess.run(['openssl', 'enc', '-bf-ecb', '-provider', 'legacy', '-provider', 'default',
                           '-K', key.hex(), '-nopad'], input=data, check=True, capture_output=True).stdout
def encipher(data):
    n = 8 - (len(data) + 1) % 8
    return swap(bf(swap(data + b'\x01' * n + bytes([n]))))
put(V + 'mvm-enciphered-openssl.mvm', b' *' + encipher(img))
put(V + 'mvm-compressed-enciphered.mvm', b'&*' + encipher(lh5))
put(V + 'mvm-odd-flags.mvm', b'X!' + img)
put(V + 'mvm-names.mvm', b'  ' + image([(b'Mp3File', b'first'), (b'\xc4\x61', b'lower'), (b'MP3FILE', b'second'),
                                           (b'\xc4\x41', b'upper'), (b'', b'nameless'), (b'Empty', b'')]))
# Damaged files.
put(I + 'mvm-empty.mvm', b'')
put(I + 'mvm-flags-only.mvm', b'& ')
put(I + 'mvm-bad-signature.mvm', b'  ' + b'\x01\x02\x03\x04\x05\x06\x07\x09' + img[8:])
put(I + 'mvm-negative-count.mvm', b'  ' + image([], count=-1))
put(I + 'mvm-negative-size.mvm', b'  ' + image([]  , count=1) + le(1, 2) + b'a' + le(-16, 4) + b'abc')
put(I + 'mvm-name-past-end.mvm', b'  ' + image([], count=1) + le(60000, 2) + b'abc')
put(I + 'mvm-size-past-end.mvm', b'  ' + image([], count=1) + le(1, 2) + b'a' + le(0x7fffffff, 4) + b'x')
put(I + 'mvm-count-past-end.mvm', b'  ' + image(mail, count=0x7fffffff))
put(I + 'mvm-truncated-plain.mvm', (b'  ' + img)[:-1])
put(I + 'mvm-truncated-compressed.mvm', (b'& ' + lh5)[:-10])
put(I + 'mvm-huge-size-compressed.mvm', b'& ' + le(2000000000, 4) + lh5[4:24])
put(I + 'mvm-bad-padding.mvm', b' *' + swap(bf(swap(b'\xff' * 8))))
put(I + 'mvm-enciphered-truncated-block.mvm', (b' *' + encipher(img))[:-8])
