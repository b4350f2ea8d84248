#!/usr/bin/env python3
"""Writes the seed inputs of the handler fuzz target from the end-to-end rows.

Usage: fuzz/seed_handler_corpus.py NAMES_FILE OUT_DIR
NAMES_FILE holds the registered names (the output of
NVR_FUZZ_LIST_NAMES=1 build-fuzz/fuzz/fuzz_handlers). Every test file is read
for a request name literal followed by its request text (string literals
joined by adjacency or '+'); each input is "<name>\\0<text>", a few per name,
and a name without a row gets "{}".
"""
import hashlib
import json
import os
import re
import sys

PER_NAME = 3
MAX_TEXT = 2048


def tokens(src):
    """Yields (kind, value) with kind 'str' (decoded literal) or 'ch'."""
    i, n = 0, len(src)
    while i < n:
        c = src[i]
        if src.startswith('//', i):
            j = src.find('\n', i)
            i = n if j < 0 else j
            continue
        if src.startswith('/*', i):
            j = src.find('*/', i + 2)
            i = n if j < 0 else j + 2
            continue
        m = re.match(r'(?:u8|u|U|L)?R"([^(\s]{0,16})\(', src[i:i + 24])
        if m and (i == 0 or not (src[i - 1].isalnum() or src[i - 1] == '_')):
            end = ')' + m.group(1) + '"'
            j = src.find(end, i + m.end())
            if j < 0:
                return
            yield 'str', src[i + m.end():j]
            i = j + len(end)
            continue
        if c == '"':
            out, j = [], i + 1
            while j < n and src[j] != '"':
                if src[j] == '\\' and j + 1 < n:
                    e = src[j + 1]
                    simple = {'n': '\n', 't': '\t', 'r': '\r', '0': '\0', '\\': '\\', '"': '"', "'": "'"}
                    if e == 'x':
                        k = j + 2
                        while k < n and src[k] in '0123456789abcdefABCDEF':
                            k += 1
                        out.append(chr(int(src[j + 2:k] or '0', 16) & 0xff))
                        j = k
                        continue
                    out.append(simple.get(e, e))
                    j += 2
                    continue
                out.append(src[j])
                j += 1
            yield 'str', ''.join(out)
            i = j + 1
            continue
        if c == "'":
            j = i + 1
            while j < n and src[j] != "'":
                j += 2 if src[j] == '\\' else 1
            yield 'ch', 'x'
            i = j + 1
            continue
        yield 'ch', c
        i += 1


def texts_after_names(src, names):
    toks = [t for t in tokens(src) if not (t[0] == 'ch' and t[1].isspace())]
    found = []
    for k, (kind, val) in enumerate(toks):
        if kind != 'str' or val not in names:
            continue
        if k + 1 >= len(toks) or toks[k + 1] != ('ch', ','):
            continue
        depth, parts, j = 0, [], k + 2
        while j < len(toks) and j < k + 400:
            kind2, v2 = toks[j]
            if kind2 == 'ch':
                if v2 in '([{':
                    depth += 1
                elif v2 in ')]}':
                    if depth == 0:
                        break
                    depth -= 1
                elif v2 in ',;' and depth == 0:
                    break
            elif depth == 0:
                if v2 in names:
                    break
                parts.append(v2)
            j += 1
        text = ''.join(parts)
        if '\0' in text or len(text) > MAX_TEXT:
            continue
        found.append((names[val], text))
    return found


def main():
    names_file, out_dir = sys.argv[1], sys.argv[2]
    names = {}
    for line in open(names_file):
        parts = line.split()
        if len(parts) == 2 and parts[1].startswith('/'):
            names[parts[1]] = parts[1]
    tests = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests')
    rows = {}
    for f in sorted(os.listdir(tests)):
        if f.endswith('.cpp') or f.endswith('.h'):
            src = open(os.path.join(tests, f), encoding='utf-8', errors='replace').read()
            for name, text in texts_after_names(src, names):
                rows.setdefault(name, []).append(text)
    os.makedirs(out_dir, exist_ok=True)
    written = 0
    for name in sorted(names):
        candidates = []
        for t in rows.get(name, []):
            if t in candidates:
                continue
            try:
                json.loads(t)
                candidates.insert(0, t)  # texts that parse first
            except ValueError:
                candidates.append(t)
        chosen = candidates[:PER_NAME] or ['{}']
        for t in chosen:
            data = name.encode() + b'\0' + t.encode('latin-1', errors='replace')
            digest = hashlib.sha1(data).hexdigest()[:12]
            with open(os.path.join(out_dir, name.strip('/') + '-' + digest), 'wb') as out:
                out.write(data)
            written += 1
    print(f'{written} inputs for {len(names)} names ({len(rows)} names with rows)')


if __name__ == '__main__':
    main()
