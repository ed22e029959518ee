#!/usr/bin/python3
"""Writes a benchmark message. Usage: make_big_message.py <file> [SHAPE]
SHAPE is one of
  attachment      (default) a short text part and one base64 attachment of 15 MiB of
                  pseudo-random bytes (fixed seed), CR LF line ends: about 20 MB
  attachment20    the same with a 20 MiB attachment: about 28.7 MB
  empty-lf        a header block and 10 MB of empty lines ended by a lone LF
  short-lf        a header block and 10 MB of "a" lines ended by a lone LF
  lone-cr         a header block and 10 MB of "a" lines ended by a lone CR"""
import base64
import random
import sys

TEN_MB = 10 * 1000 * 1000


def attachment_message(payload_bytes):
    payload = random.Random(20).randbytes(payload_bytes)
    encoded = base64.b64encode(payload)
    lines = b"\r\n".join(encoded[i:i + 76] for i in range(0, len(encoded), 76))
    head = (
        b"From: Bench Sender <sender@example.org>\r\n"
        b"To: Bench Receiver <receiver@example.org>\r\n"
        b"Subject: =?utf-8?Q?Gro=C3=9Fe_Anlage?=\r\n"
        b"Date: Mon, 2 Jan 2006 10:00:00 +0100\r\n"
        b"MIME-Version: 1.0\r\n"
        b"Content-Type: multipart/mixed; boundary=\"bench-boundary\"\r\n"
        b"\r\n"
        b"--bench-boundary\r\n"
        b"Content-Type: text/plain; charset=utf-8\r\n"
        b"Content-Transfer-Encoding: 8bit\r\n"
        b"\r\n"
        b"The attachment follows.\r\n"
        b"\r\n"
        b"--bench-boundary\r\n"
        b"Content-Type: application/octet-stream; name=\"payload.bin\"\r\n"
        b"Content-Disposition: attachment; filename=\"payload.bin\"\r\n"
        b"Content-Transfer-Encoding: base64\r\n"
        b"\r\n"
    )
    return head + lines + b"\r\n--bench-boundary--\r\n"


def lines_message(line, end):
    head = (b"From: Bench Sender <sender@example.org>" + end +
            b"Subject: many lines" + end +
            b"Content-Type: text/plain; charset=us-ascii" + end + end)
    piece = line + end
    return head + piece * ((TEN_MB - len(head)) // len(piece))


SHAPES = {
    "attachment": lambda: attachment_message(15 * 1024 * 1024),
    "attachment20": lambda: attachment_message(20 * 1024 * 1024),
    "empty-lf": lambda: lines_message(b"", b"\n"),
    "short-lf": lambda: lines_message(b"a", b"\n"),
    "lone-cr": lambda: lines_message(b"a", b"\r"),
}

with open(sys.argv[1], "wb") as out:
    out.write(SHAPES[sys.argv[2] if len(sys.argv) > 2 else "attachment"]())
