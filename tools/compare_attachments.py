#!/usr/bin/python3
"""Compares the base64 attachments that brindle-cli decodes with those of Python's email
package, message by message, over a folder of messages (the corpus's eml/ folder).

For every leaf part in base64 that is not text, Python's decoded bytes are looked for among the
attachments of `brindle-cli show FILE --json` (by SHA-256). Parts whose base64 ends in an
unpadded group of two or three characters are counted apart: those are the ones whose size
depends on how a decoder treats the tail.

Usage: tools/compare_attachments.py BRINDLE_CLI [CORPUS_EML_DIR] [BRINDLE_CLI_BEFORE]
"""
import email
import email.policy
import hashlib
import json
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

ALPHABET = re.compile(rb'[A-Za-z0-9+/=]')


def unpadded_tail(payload):
    characters = b''.join(ALPHABET.findall(payload))
    return '=' not in characters[-2:].decode() and len(characters) % 4 in (2, 3)


def python_parts(data):
    message = email.message_from_bytes(data, policy=email.policy.compat32)
    for part in message.walk():
        if part.is_multipart() or part.get_content_maintype() == 'text':
            continue
        if str(part.get('Content-Transfer-Encoding', '')).strip().lower() != 'base64':
            continue
        raw = part.get_payload(decode=False)
        if not isinstance(raw, str):
            continue
        decoded = part.get_payload(decode=True) or b''
        yield hashlib.sha256(decoded).hexdigest(), len(decoded), unpadded_tail(raw.encode('ascii', 'replace'))


def brindle_hashes(cli, path):
    result = subprocess.run([cli, 'show', str(path), '--json'], capture_output=True)
    if result.returncode != 0:
        return None
    return {item['SHA256']: item['Size'] for item in json.loads(result.stdout)['Attachments']}


def main():
    cli = sys.argv[1]
    corpus = pathlib.Path(sys.argv[2] if len(sys.argv) > 2 else
                          pathlib.Path(__file__).resolve().parent.parent.parent / 'shared' / 'corpus' / 'eml')
    before = sys.argv[3] if len(sys.argv) > 3 else None
    counts = {'parts': 0, 'match': 0, 'tail': 0, 'tail_match': 0, 'tail_match_before': 0, 'size_changed': 0}
    with tempfile.TemporaryDirectory() as work:
        for source in sorted(p for p in corpus.rglob('*') if p.is_file()):
            copy = pathlib.Path(work) / 'message.eml'
            shutil.copyfile(source, copy)
            ours = brindle_hashes(cli, copy)
            old = brindle_hashes(before, copy) if before else None
            for digest, size, tail in python_parts(source.read_bytes()):
                counts['parts'] += 1
                found = ours is not None and digest in ours
                counts['match'] += found
                if not found:
                    print('differs: %s (%d bytes%s)' % (source.relative_to(corpus), size, ', unpadded tail' if tail else ''))
                if tail:
                    counts['tail'] += 1
                    counts['tail_match'] += found
                    if old is not None:
                        counts['tail_match_before'] += digest in old
                        counts['size_changed'] += found and digest not in old and size not in old.values()
    print('base64 parts that are not text: %(parts)d; same bytes as Python: %(match)d' % counts)
    print('with an unpadded last group: %(tail)d; same bytes as Python now: %(tail_match)d' % counts)
    if before:
        print('  before: same bytes as Python: %(tail_match_before)d; attachments whose size changed: '
              '%(size_changed)d' % counts)


if __name__ == '__main__':
    main()
