#!/usr/bin/python3
"""The same work with Python's email package: parse the message, decode subject and sender,
take every text part as text and decode every other leaf part's content.
Usage: python_bench.py <repeat> <file>...; prints "seconds=... bytes=... check=..."."""
import email
import email.policy
import sys
import time


def parse(data):
    message = email.message_from_bytes(data, policy=email.policy.default)
    check = 0
    for name in ("subject", "from"):
        try:
            check += len(str(message.get(name, "")))
        except (ValueError, LookupError, UnicodeError, IndexError, TypeError):
            pass  # a field that the package cannot decode
    for part in message.walk():
        if part.is_multipart():
            continue
        if part.get_content_maintype() == "text":
            try:
                check += len(part.get_content())
            except (LookupError, UnicodeError, ValueError, AssertionError, IndexError, TypeError):
                check += len(part.get_payload(decode=True) or b"")
        else:
            check += len(part.get_payload(decode=True) or b"")
    return check


def main():
    repeat = int(sys.argv[1])
    messages = []
    for name in sys.argv[2:]:
        with open(name, "rb") as file:
            messages.append(file.read())
    total = sum(len(m) for m in messages) * repeat
    check = 0
    seconds = 0.0
    for _ in range(repeat):
        for data in messages:
            start = time.perf_counter()
            check += parse(data)
            seconds += time.perf_counter() - start
    print("seconds=%.6f bytes=%d check=%d" % (seconds, total, check))


main()
