#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets: real frames and files, laid out
the way each target reads its input (FuzzedDataProvider: byte strings from the
front, numbers and choices from the back).

    fuzz/make_seeds.py [CORPUS_DIR]      (default: fuzz/corpus next to this file)

Run it again after changing what a target reads; regression inputs found by
fuzzing are kept in the corpus as they are (regression-* files) and not made here.
"""
import os
import struct
import sys


class Input:
    """An input built in the order the target consumes it."""

    def __init__(self):
        self.front = bytearray()
        self.back = bytearray()  # in consumption order

    def bytes(self, b):
        self.front += bytes(b)
        return self

    def text(self, s):  # ConsumeRandomLengthString: ends at a backslash and one more byte
        self.front += s.encode().replace(b"\\", b"\\\\") + b"\\\n"
        return self

    def range(self, lo, hi, v):  # ConsumeIntegralInRange
        assert lo <= v <= hi
        span, result, n = hi - lo, v - lo, 0
        while n < 8 and (span >> (8 * n)) > 0:
            n += 1
        self.back += result.to_bytes(n, "big") if n else b""
        return self

    def integral(self, size, v, signed=False):  # ConsumeIntegral of a size-byte type
        low = -(1 << (8 * size - 1)) if signed else 0
        self.back += (v - low).to_bytes(size, "big")
        return self

    def flag(self, v):
        return self.range(0, 255, 1 if v else 0)

    def data(self):
        return bytes(self.front) + bytes(reversed(self.back))


def crc16(b):
    crc = 0xFFFF
    for x in b:
        crc ^= x
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def modbus(*b):
    c = crc16(b)
    return bytes(b) + bytes([c & 0xFF, c >> 8])


def kormast(*b):
    s = sum(b) & 0xFFFF
    return bytes(b) + bytes([s >> 8, s & 0xFF])


# Frames as the simulator puts them on the line (demo network, see sim/demo.net).
IDENT_REQ_1 = kormast(1, 0, 0, 0, 0, 0, 0, 1)
IDENT_ANS_1 = kormast(1, 0x13, 0x0C, 0x1D, 0, 7, 0x02, 1)  # serial 3101, format 7
MEASURE_REQ_3 = kormast(17, 0, 0, 0, 0, 0, 0, 3)
MEASURE_ANS_3 = kormast(17, 0, 0x15, 0x7C, 0x15, 0x7C, 0, 3)  # 55.00 % both
MB_MEASURE_REQ_1 = modbus(1, 3, 0, 4, 0, 2)
MB_MEASURE_ANS_1 = modbus(1, 3, 4, 0x0F, 0xA0, 0x0F, 0x9F)  # setpoint 40.00 %, flow 39.99 %
MB_IDENT_ANS_2 = modbus(2, 3, 6, 0x0C, 0x1E, 0, 0x13, 0, 0x02)
MB_VALVE_REQ_1 = modbus(1, 0x0F, 0, 2, 0, 2, 1, 1)
MB_VALVE_ANS_1 = modbus(1, 0x0F, 0, 2, 0, 2)
MB_EXCEPTION = modbus(1, 0x83, 2)


def receiver():
    def arm(i, rlength_index, modbus, solo, clear, request=None):
        """Arms for a whole answer of 8, 9, 10 or 11 bytes, for any answer or
        only for the answer of request (the frame as sent, 10 bytes)."""
        i.range(0, 3, 0).range(0, 3, rlength_index).flag(modbus).flag(solo).flag(clear)
        i.flag(request is not None)
        for b in request or b"":
            i.integral(1, b)

    def block(i, b):
        i.range(0, 15, 1).flag(True).range(0, 80, len(b)).bytes(b)

    seeds = {}
    # A "Кормаст-10м" identify answer in one block, network framing.
    i = Input()
    arm(i, 2, False, False, True, IDENT_REQ_1)
    block(i, IDENT_ANS_1)
    seeds["kormast-ident-one-block"] = i.data()
    # A Modbus poll answer in chunks of 3, after 4 bytes of line noise and a re-arm.
    i = Input()
    arm(i, 1, True, False, True)
    block(i, b"\xa5\xa5\xa5\xa5")
    i.range(0, 15, 0)
    arm(i, 1, True, False, False, MB_MEASURE_REQ_1 + bytes(2))
    for k in range(0, 9, 3):
        block(i, MB_MEASURE_ANS_1[k:k + 3])
    seeds["modbus-measure-chunks"] = i.data()
    # regsolo's framing: a poll answer split 7 + 3.
    i = Input()
    arm(i, 2, False, True, True, MEASURE_REQ_3)
    block(i, MEASURE_ANS_3[:7])
    block(i, MEASURE_ANS_3[7:])
    seeds["solo-measure-split"] = i.data()
    return seeds


def device(i):
    """The simulated regulator of the answers target: a flow regulator at
    address 1, format 7, serial 3101, 19200 baud, setpoint and flow 40.00 %,
    regulating with a digital setpoint."""
    i.range(1, 254, 1).flag(False).range(0, 7, 7).integral(2, 3101).range(0, 2, 1)
    i.flag(True).flag(True).flag(True).flag(False).flag(False).flag(False)
    i.range(0, 10000, 4000).integral(8, int(0.7 * (2**64 - 1)))
    i.range(0, 2, 0).range(0, 2, 0).flag(True).flag(True).flag(False)


def answers():
    seeds = {}
    # Poll of address 1 over Modbus with the real answer; then an identify of 3.
    i = Input()
    i.range(0, 2, 0).range(-1, 300, 1).range(0, 18, 3).flag(True)
    i.flag(True).bytes(MB_MEASURE_ANS_1).flag(False)
    i.range(-2, 11, 0).integral(1, 7).range(-2, 11, 0).integral(1, 7).integral(1, 7)
    i.range(0, 2, 0).range(-1, 300, 2).range(0, 18, 0).flag(True)
    i.flag(True).bytes(MB_IDENT_ANS_2).flag(False)
    i.range(-2, 11, 2).integral(1, 7).range(-2, 11, 2).integral(1, 7).integral(1, 7)
    seeds["modbus-measure-ident"] = i.data()
    # A poll of address 3 in "Кормаст-10м", and a refused Modbus valve command.
    i = Input()
    i.range(0, 2, 0).range(-1, 300, 3).range(0, 18, 3).flag(False)
    i.flag(True).bytes(MEASURE_ANS_3).flag(False)
    i.range(-2, 11, 3).integral(1, 5).range(-2, 11, 3).integral(1, 5).integral(1, 5)
    i.range(0, 2, 0).range(-1, 300, 1).range(0, 18, 9).range(0, 2, 1).flag(True)
    i.flag(False).range(0, 16, 5).bytes(MB_EXCEPTION).flag(False)
    i.range(-2, 11, 1).integral(1, 7).range(-2, 11, 1).integral(1, 7).integral(1, 7)
    seeds["kormast-measure-modbus-exception"] = i.data()
    # regsolo's identify of a flow regulator at address 1, its answer in blocks
    # of 3, 3 and 4.
    i = Input()
    i.range(0, 2, 1)
    device(i)
    i.flag(False).flag(True).range(0, 7, 0)
    i.range(1, 10, 3).range(1, 7, 3).range(1, 4, 4)
    seeds["solo-ident-in-blocks"] = i.data()
    # A Modbus poll of address 1 in two attempts: the first write is refused,
    # the second is answered in blocks of 4 and 5.
    i = Input()
    i.range(0, 2, 2).range(-1, 300, 1).range(0, 18, 3).flag(False).flag(True)
    i.range(0, 5, 2).range(0, 9, 0).range(0, 7, 1)
    i.range(0, 6, 4).integral(1, 0).range(0, 6, 0).integral(1, 0).range(0, 2, 0)
    device(i)
    i.range(0, 3, 1).flag(False).range(1, 9, 4).range(1, 5, 5)
    i.range(-2, 11, 0).integral(1, 7).range(-2, 11, 0).integral(1, 7).integral(1, 7)
    seeds["modbus-measure-refused-write-then-blocks"] = i.data()
    return seeds


def log_lines():
    def line(mprob, frame, number=1, port=0, lines=3, small=True):
        i = Input()
        if small:
            i.flag(True).range(-2, 520, mprob)
        else:
            i.flag(False).integral(4, mprob, signed=True)
        i.integral(4, number, signed=True).integral(4, port, signed=True)
        i.range(0, 40, lines).bytes(frame)
        return i.data()

    return {
        "kormast-ident": line(10, IDENT_ANS_1, number=2),
        "modbus-measure": line(9, MB_MEASURE_ANS_1),
        "modbus-exception": line(5, MB_EXCEPTION, lines=20),
    }


def sim_line():
    def line(devices, steps):
        i = Input()
        i.flag(False).range(0, 50, 0).integral(4, 1).range(0, 4, len(devices))
        for addr, fmt in devices:
            i.range(0, 254, addr).flag(False).range(0, 9, fmt).integral(2, 3000 + addr)
            i.range(0, 10000, 4000).range(0, 2, 0).range(0, 2, 0)
            i.flag(True).flag(True).flag(True)
        for s in steps:
            s(i)
        return i.data()

    def rx(frame):
        return lambda i: i.range(0, 6, 0).range(0, 80, len(frame)).bytes(frame)

    def wait(us):
        return lambda i: i.range(0, 6, 3).range(0, 200000, us)

    def control(text):
        return lambda i: i.range(0, 6, 4).text(text)

    return {
        "kormast-ident": line([(1, 7)], [rx(IDENT_REQ_1), wait(50000)]),
        "modbus-measure-split": line(
            [(1, 7), (3, 5)],
            [rx(MB_MEASURE_REQ_1[:3]), rx(MB_MEASURE_REQ_1[3:]), wait(50000), rx(MEASURE_REQ_3),
             wait(50000)]),
        "chunks-and-valve": line(
            [(1, 6)],
            [control("set 1 chunks=3+3+4,chunk-delay-ms=15"), rx(MB_VALVE_REQ_1), wait(20000),
             wait(20000), wait(20000)]),
    }


def icx(records, size, fields):
    img = bytearray(size)
    for rec, values in fields.items():
        for off, v in values.items():
            struct.pack_into("<I", img, rec * records + off, v)
    return bytes(img)


def config_files():
    return {
        # regnet9 after linking three channels on COM2: serial, flags, net, dates.
        "regnet9": icx(64, 704, {
            0: {0: 3101, 8: 1, 12: 1, 32: 1, 36: 1, 40: 1, 44: 1, 48: 15, 52: 5, 56: 12, 60: 3},
            1: {0: 3102, 12: 1, 36: 1, 40: 2},
            2: {0: 3203, 16: 1, 20: 1, 40: 3, 48: 12, 52: 11, 56: 3, 60: 2}}),
        # regnet5 with two channels on COM3.
        "regnet5": icx(40, 280, {0: {0: 3101, 28: 2, 36: 5}, 1: {0: 3102, 8: 1, 36: 7}}),
        "regsolo": bytes([0, 5]),
        "regsolo-long": bytes([3, 17, 9, 9, 9]),
    }


def typed_text():
    return {name: text.encode() for name, text in {
        "address": "5", "address-blanks": "  17 ", "address-max": "254", "address-sign": "+12",
        "setpoint": "50.5 %", "setpoint-comma": "12,5", "percent-100": "100", "offset": "65535",
        "offset-wraps-in-32-bits": "4294967297", "negative": "-7",
    }.items()}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
    for target, seeds in [("receiver", receiver()), ("answers", answers()),
                          ("log_lines", log_lines()), ("sim_line", sim_line()),
                          ("config_files", config_files()), ("typed_text", typed_text())]:
        d = os.path.join(out, target)
        os.makedirs(d, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(d, "seed-" + name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
