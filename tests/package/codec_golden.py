#!/usr/bin/env python3
"""Writes the codec's damaged streams under tests/data/invalid, bit by bit.

Every stream is the 4-byte size followed by a hand-built block header that is
broken in exactly one way, then enough zero bytes that the break, not the end
of the data, is what the decoder meets first.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
INVALID = os.path.join(HERE, '..', 'data', 'invalid')


def bits(value, width):
    return format(value, '0%db' % width) if width else ''


def pack(bit_text):
    bit_text = bit_text.replace(' ', '')
    bit_text += '0' * (-len(bit_text) % 8)
    return bytes(int(bit_text[i:i + 8], 2) for i in range(0, len(bit_text), 8))


def stream(size, bit_text, padding=16):
    return struct.pack('<i', size) + pack(bit_text) + bytes(padding)


# One literal 'A' in the one-symbol forms: a valid block to start from.
SINGLE_CODE_LENGTH = bits(0, 5) + bits(0, 5)
SINGLE_A = bits(0, 9) + bits(ord('A'), 9)
NO_POSITIONS = bits(0, 4) + bits(0, 4)

FILES = {
    # The size field itself is cut short.
    'lh5-too-short.lh5': b'\x01\x00\x00',
    # A block of no symbols: nothing to decode, and decoders disagree on its meaning.
    'lh5-empty-block.lh5': stream(1, bits(0, 16) + SINGLE_CODE_LENGTH + SINGLE_A + NO_POSITIONS),
    # 20 code-length lengths where the alphabet has 19.
    'lh5-code-length-count.lh5': stream(1, bits(1, 16) + bits(20, 5)),
    # 511 literal/length lengths where the alphabet has 510 (every code-length
    # symbol is 5, a length of 3, in the one-symbol form).
    'lh5-literal-count.lh5': stream(1, bits(1, 16) + bits(0, 5) + bits(5, 5) + bits(511, 9)),
    # 15 position lengths where the alphabet has 14.
    'lh5-position-count.lh5': stream(1, bits(1, 16) + SINGLE_CODE_LENGTH + SINGLE_A + bits(15, 4)),
    # The one literal/length symbol is 510, past the alphabet.
    'lh5-single-symbol.lh5': stream(1, bits(1, 16) + SINGLE_CODE_LENGTH + bits(0, 9) + bits(510, 9)
                                    + NO_POSITIONS),
    # The one position class is 14: p would lie past the dictionary.
    'lh5-single-position.lh5': stream(1, bits(1, 16) + SINGLE_CODE_LENGTH + SINGLE_A + bits(0, 4)
                                      + bits(14, 4)),
    # Code-length lengths 1, 1, 1, 1: a code space of 131,072, which a test
    # modulo 65,536 lets through.
    'lh5-overfull-code.lh5': stream(1, bits(1, 16) + bits(4, 5) + '001' * 3 + '00' + '001'),
    # One code-length length of 1: half the code space left empty.
    'lh5-incomplete-code.lh5': stream(1, bits(1, 16) + bits(1, 5) + '001'),
    # A code length escaped up to 17 (3 bits 111, ten 1-bits, a 0-bit).
    'lh5-length-17.lh5': stream(1, bits(1, 16) + bits(1, 5) + '111' + '1' * 10 + '0'),
    # Zero runs of 500 and 20 lengths: past the end of the 510-entry table
    # (every code-length symbol is 2, the long zero run).
    'lh5-zero-run-past-end.lh5': stream(1, bits(1, 16) + bits(0, 5) + bits(2, 5) + bits(510, 9)
                                        + bits(480, 9) + bits(0, 9)),
    # Code-length lengths all 0 (three zeros and an empty run field), then a
    # literal/length count that needs a symbol decoded through that empty code.
    'lh5-empty-code-used.lh5': stream(1, bits(1, 16) + bits(3, 5) + '000' * 3 + '00' + bits(10, 9)),
}


def main():
    os.makedirs(INVALID, exist_ok=True)
    for name, data in FILES.items():
        with open(os.path.join(INVALID, name), 'wb') as out:
            out.write(data)


if __name__ == '__main__':
    main()
