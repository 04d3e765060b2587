"""Just enough of the D-Bus wire format to read what dbus-monitor --binary writes.

dbus-monitor in binary mode writes each message it sees, whole and unchanged, one after
the other. Reading them here keeps every string byte for byte, which a text dump would not.
"""

import struct
from typing import NamedTuple

METHOD_CALL = 1
SIGNAL = 4

_FIELD_NAMES = {1: "path", 2: "interface", 3: "member", 4: "error_name", 6: "destination",
                7: "sender", 8: "signature"}


class Message(NamedTuple):
    type: int
    fields: dict
    body: bytes
    big_endian: bool

    @property
    def member(self):
        return self.fields.get("member")

    @property
    def interface(self):
        return self.fields.get("interface")

    def args(self, count):
        """The first `count` arguments of the body, read from its signature."""
        reader = _Reader(self.body, self.big_endian)
        signature = self.fields.get("signature", "")
        return [reader.value(code) for code in signature[:count]]


class _Reader:
    def __init__(self, data, big_endian, pos=0):
        self.data = data
        self.order = ">" if big_endian else "<"
        self.pos = pos

    def align(self, n):
        self.pos = (self.pos + n - 1) // n * n

    def fixed(self, fmt, size):
        self.align(size)
        (value,) = struct.unpack_from(self.order + fmt, self.data, self.pos)
        self.pos += size
        return value

    def string(self):
        length = self.fixed("I", 4)
        raw = self.data[self.pos:self.pos + length]
        self.pos += length + 1
        return raw

    def signature(self):
        length = self.data[self.pos]
        raw = self.data[self.pos + 1:self.pos + 1 + length]
        self.pos += length + 2
        return raw.decode("ascii")

    def value(self, code):
        """One value of a basic type; strings stay bytes so that nothing is decoded away."""
        if code in "so":
            return self.string()
        if code == "g":
            return self.signature()
        if code == "y":
            self.pos += 1
            return self.data[self.pos - 1]
        if code in "ub":
            return self.fixed("I", 4)
        if code == "i":
            return self.fixed("i", 4)
        raise ValueError(f"type {code!r} is not read here")


def message_size(prefix):
    """Total size of the message that starts with these 16 bytes."""
    order = ">" if prefix[0:1] == b"B" else "<"
    body_length, _, fields_length = struct.unpack_from(order + "III", prefix, 4)
    header = 16 + fields_length
    return (header + 7) // 8 * 8 + body_length


def parse(data):
    big_endian = data[0:1] == b"B"
    reader = _Reader(data, big_endian, 12)
    fields_end = 16 + reader.fixed("I", 4)
    fields = {}
    while reader.pos < fields_end:
        reader.align(8)
        code = reader.value("y")
        value = reader.value(reader.signature())
        if code in _FIELD_NAMES:
            fields[_FIELD_NAMES[code]] = value.decode() if isinstance(value, bytes) else value
    reader.align(8)
    return Message(data[1], fields, data[reader.pos:], big_endian)


class StreamSplitter:
    """Cuts a byte stream into whole messages as the bytes arrive."""

    def __init__(self):
        self.buffer = bytearray()

    def feed(self, chunk):
        self.buffer += chunk
        messages = []
        while len(self.buffer) >= 16:
            size = message_size(bytes(self.buffer[:16]))
            if len(self.buffer) < size:
                break
            messages.append(parse(bytes(self.buffer[:size])))
            del self.buffer[:size]
        return messages
