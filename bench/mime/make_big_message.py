#!/usr/bin/python3
"""Writes a message of about 20 MB: a short text part and one base64 attachment of
15 MB of pseudo-random bytes (fixed seed), CR LF line ends. Usage: make_big_message.py <file>"""
import base64
import random
import sys

payload = random.Random(20).randbytes(15 * 1024 * 1024)
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
with open(sys.argv[1], "wb") as out:
    out.write(head + lines + b"\r\n--bench-boundary--\r\n")
