#!/usr/bin/env python3
"""Writes an .eml message with N small attachments whose long names are all different but
become the same when cut to 255 bytes: the worst case for choosing unique save names."""
import sys


def main() -> None:
    if len(sys.argv) != 3:
        sys.exit("usage: make_colliding_message.py COUNT OUT.eml")
    count, path = int(sys.argv[1]), sys.argv[2]
    stem = "n" * 260
    parts = [
        "From: bench@example.org\r\nSubject: colliding names\r\nMIME-Version: 1.0\r\n"
        'Content-Type: multipart/mixed; boundary="BB"\r\n\r\n'
        "--BB\r\nContent-Type: text/plain\r\n\r\nMany attachments.\r\n"
    ]
    for i in range(count):
        parts.append(
            f'--BB\r\nContent-Type: application/octet-stream; name="{stem}{i}.dat"\r\n'
            "Content-Transfer-Encoding: base64\r\n\r\neA==\r\n"
        )
    parts.append("--BB--\r\n")
    with open(path, "w", newline="") as out:
        out.write("".join(parts))


if __name__ == "__main__":
    main()
