#!/usr/bin/env python3
"""Reads a dBase level 7 table (.dbf) and its memo file (.dbt) by the format's
documented layout, with the standard library only, and prints one line per
field and per record. The dbf tests compare its output with what they wrote,
so the layout is checked by a reader that shares no code with the writer.

Output:
  table version=0x8C records=3 header=309 record=25
  field NAME C 5
  record 1 live NAME="ab" N=1 ID=1 OK=true TXT="hi"
Values: texts as JSON strings without the trailing blank padding, integers in
decimal, logicals true/false, null for an empty value.
"""
import json
import struct
import sys

HEADER_SIZE = 68
DESCRIPTOR_SIZE = 48


def fail(message):
    sys.stderr.write("read_dbf: " + message + "\n")
    sys.exit(2)


def read_memo(memo, block):
    """The text of the memo that starts at `block` of the memo file."""
    block_size = struct.unpack_from("<H", memo, 20)[0]
    start = block * block_size
    if start + 8 > len(memo):
        fail("memo block %d is past the end of the memo file" % block)
    signature = memo[start:start + 4]
    if signature != b"\xff\xff\x08\x00":
        fail("memo block %d has no memo signature: %r" % (block, signature))
    length = struct.unpack_from("<I", memo, start + 4)[0]  # counts the 8 bytes above
    if length < 8 or start + length > len(memo):
        fail("memo block %d has a bad length %d" % (block, length))
    return memo[start + 8:start + length].decode("utf-8")


def value_of(kind, raw, memo):
    if kind == "C":
        text = raw.decode("utf-8").rstrip(" ")
        return None if text == "" else text
    if kind in ("I", "+"):
        (stored,) = struct.unpack(">I", raw)
        if stored == 0:
            return None
        return stored - 0x80000000  # the sign bit is stored inverted
    if kind == "L":
        if raw in (b"T", b"t", b"Y", b"y"):
            return True
        if raw in (b"F", b"f", b"N", b"n"):
            return False
        if raw in (b" ", b"?"):
            return None
        fail("bad logical value %r" % raw)
    if kind == "M":
        digits = raw.decode("ascii").strip(" ")
        if digits == "":
            return None
        if memo is None:
            fail("a memo field refers to a block but there is no memo file")
        return read_memo(memo, int(digits))
    fail("unknown field type %r" % kind)


def show(value):
    if value is None:
        return "null"
    if value is True:
        return "true"
    if value is False:
        return "false"
    if isinstance(value, int):
        return str(value)
    return json.dumps(value, ensure_ascii=False)


def main():
    if len(sys.argv) != 2:
        fail("usage: read_dbf.py TABLE.dbf")
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < HEADER_SIZE:
        fail("file too short")
    version = data[0]
    if version not in (0x04, 0x8C):
        fail("not a level 7 table: version 0x%02X" % version)
    count, header_length, record_length = struct.unpack_from("<IHH", data, 4)
    print("table version=0x%02X records=%d header=%d record=%d"
          % (version, count, header_length, record_length))

    fields = []
    at = HEADER_SIZE
    while data[at] != 0x0D:
        descriptor = data[at:at + DESCRIPTOR_SIZE]
        name = descriptor[0:32].split(b"\0", 1)[0].decode("ascii")
        kind = chr(descriptor[32])
        length = descriptor[33]
        fields.append((name, kind, length))
        print("field %s %s %d" % (name, kind, length))
        at += DESCRIPTOR_SIZE
    if at + 1 > header_length:
        fail("the header length is shorter than the field descriptors")
    if 1 + sum(length for _, _, length in fields) != record_length:
        fail("the record length disagrees with the fields")

    memo = None
    if version == 0x8C:
        memo_path = path[:-1] + ("T" if path.endswith("F") else "t")
        with open(memo_path, "rb") as f:
            memo = f.read()

    end = header_length + count * record_length
    if len(data) < end:
        fail("the file is shorter than its records")
    if len(data) > end and data[end] != 0x1A:
        fail("no end-of-file mark after the records")
    for number in range(count):
        record = data[header_length + number * record_length:
                      header_length + (number + 1) * record_length]
        flag = record[0:1]
        if flag not in (b" ", b"*"):
            fail("record %d has the flag %r" % (number + 1, flag))
        parts = []
        offset = 1
        for name, kind, length in fields:
            raw = record[offset:offset + length]
            offset += length
            parts.append("%s=%s" % (name, show(value_of(kind, raw, memo))))
        print("record %d %s %s" % (number + 1, "deleted" if flag == b"*" else "live",
                                    " ".join(parts)))


if __name__ == "__main__":
    main()
