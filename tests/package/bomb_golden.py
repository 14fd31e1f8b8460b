#!/usr/bin/env python3
"""Writes the size bombs: tiny -lh5- streams that expand to huge outputs.

A block whose literal/length code and position code are both in the one-symbol
form spends no bits per symbol: 65,535 matches of 256 bytes at distance 1 cost
52 bits and produce 16 MiB of zeros.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, '..', 'data')

SINGLE_CODE_LENGTH = format(0, '05b') * 2
NO_POSITIONS = format(0, '04b') * 2
MAX_BLOCK = 65535
MATCH_256 = 509


def block(count, symbol):
    return format(count, '016b') + SINGLE_CODE_LENGTH + format(0, '09b') + format(symbol, '09b') + NO_POSITIONS


def pack(bit_text):
    bit_text += '0' * (-len(bit_text) % 8)
    return bytes(int(bit_text[i:i + 8], 2) for i in range(0, len(bit_text), 8))


def bomb(prefix, zeros):
    """`prefix` as literals (one block each), then `zeros` zero bytes as matches."""
    bit_text = ''.join(block(1, byte) for byte in prefix)
    matches = -(-zeros // 256)
    while matches > 0:
        bit_text += block(min(matches, MAX_BLOCK), MATCH_256)
        matches -= MAX_BLOCK
    return struct.pack('<i', len(prefix) + zeros) + pack(bit_text) + bytes(8)


def main():
    # A voice mail of one entry "Mp3File" claiming 2,000,000,000 zero bytes.
    size = 2000000000
    head = bytes(range(1, 9)) + struct.pack('<i', 1) + struct.pack('<H', 7) + b'Mp3File' + struct.pack('<i', size)
    with open(os.path.join(DATA, 'invalid', 'mvm-size-bomb.mvm'), 'wb') as out:
        out.write(b'& ' + bomb(head, size))
    # A raw stream of 64 MiB of zeros, to decompress in bounded memory.
    with open(os.path.join(DATA, 'valid', 'lh5-zeros-64m.lh5'), 'wb') as out:
        out.write(bomb(b'', 64 << 20))


if __name__ == '__main__':
    main()
