#!/usr/bin/env python3
"""Every relative link of README.md and docs/ must lead to a file that exists, and to a heading of
it where the link names one (GitHub's anchors). Prints each broken link with its file and line and
exits 1.

    check-doc-links.py [ROOT]      the checkout at ROOT (default: the folder above this script)
    check-doc-links.py --self-test the checker against pages with known faults
"""
import os
import re
import sys
import tempfile

LINK = re.compile(r'!?\[(?:[^\]\\]|\\.)*\]\(\s*<?([^)\s>]+)>?(?:\s+"[^"]*")?\s*\)')
FENCE = re.compile(r'^\s*(```|~~~)')
HEADING = re.compile(r'^(#{1,6})\s+(.*?)\s*#*\s*$')
CODE_SPAN = re.compile(r'(`+)(.+?)\1')


def prose_lines(path):
    """(line number, text) of the lines outside fenced code."""
    fenced = False
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            if FENCE.match(line):
                fenced = not fenced
                continue
            if not fenced:
                yield number, line


def anchors(path):
    """The anchors GitHub gives the headings of a page: lower case, punctuation dropped, spaces
    made dashes, a repeated one numbered."""
    seen = {}
    result = set()
    for _, line in prose_lines(path):
        match = HEADING.match(line)
        if not match:
            continue
        text = re.sub(r'\[([^\]]*)\]\([^)]*\)', r'\1', match.group(2))
        slug = re.sub(r'[^\w\- ]', '', text.lower()).replace(' ', '-')
        count = seen.get(slug, 0)
        seen[slug] = count + 1
        result.add(slug if count == 0 else '%s-%d' % (slug, count))
    return result


def pages(root):
    found = [os.path.join(root, 'README.md')]
    for folder, _, names in os.walk(os.path.join(root, 'docs')):
        found += [os.path.join(folder, n) for n in sorted(names) if n.endswith('.md')]
    return [p for p in found if os.path.isfile(p)]


def prose(path):
    """The page with fenced code and code spans blanked, newlines kept: links may span lines."""
    with open(path, encoding='utf-8') as f:
        lines = f.read().split('\n')
    kept = dict(prose_lines(path))
    text = '\n'.join(line.rstrip('\n') if number in kept else '' for number, line in enumerate(lines, 1))
    return CODE_SPAN.sub(lambda m: re.sub(r'[^\n]', ' ', m.group(0)), text)


def broken_links(root):
    problems = []
    anchor_cache = {}
    for page in pages(root):
        shown = os.path.relpath(page, root)
        text = prose(page)
        for match in LINK.finditer(text):
            target = match.group(1)
            number = text.count('\n', 0, match.start()) + 1
            if re.match(r'^[a-zA-Z][a-zA-Z0-9+.-]*:', target):
                continue  # http:, mailto: and the like are not ours to check
            path, _, anchor = target.partition('#')
            dest = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
            if not os.path.exists(dest):
                problems.append('%s:%d: link "%s": there is no file %s'
                                % (shown, number, target, os.path.relpath(dest, root)))
                continue
            if anchor and dest.endswith('.md'):
                if dest not in anchor_cache:
                    anchor_cache[dest] = anchors(dest)
                if anchor not in anchor_cache[dest]:
                    problems.append('%s:%d: link "%s": %s has no heading with the anchor #%s'
                                    % (shown, number, target, os.path.relpath(dest, root), anchor))
    return problems


# Pages with one fault each (or none), and the message the checker must give for it.
SELF_TEST = [
    # (page text of docs/a.md, the expected problem or None)
    ('[b](b.md)', None),
    ('[b](b.md#the-heading)', None),
    ('[b](b.md#second-part-with-code)', None),
    ('[b](b.md#the-heading-1)', None),
    ('[self](#local)\n\n## Local', None),
    ('![img](images/x.png)', None),
    ('[up](../README.md)', None),
    ('[web](https://example.org/missing.md)', None),
    ('`[not a link](nowhere.md)`', None),
    ('```\n[not a link](nowhere.md)\n```', None),
    ('\n[c](c.md)', 'docs/a.md:2: link "c.md": there is no file docs/c.md'),
    ('a link [across\ntwo lines](d.md)', 'docs/a.md:1: link "d.md": there is no file docs/d.md'),
    ('[img](images/y.png)', 'docs/a.md:1: link "images/y.png": there is no file docs/images/y.png'),
    ('[b](b.md#no-such-heading)', 'docs/a.md:1: link "b.md#no-such-heading": docs/b.md has no heading '
     'with the anchor #no-such-heading'),
    ('[self](#gone)', 'docs/a.md:1: link "#gone": docs/a.md has no heading with the anchor #gone'),
    ('```\n# not a heading\n```\n[self](#not-a-heading)',
     'docs/a.md:4: link "#not-a-heading": docs/a.md has no heading with the anchor #not-a-heading'),
]


def self_test():
    failures = 0
    for text, expected in SELF_TEST:
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, 'docs', 'images'))
            open(os.path.join(root, 'docs', 'images', 'x.png'), 'w').close()
            with open(os.path.join(root, 'README.md'), 'w') as f:
                f.write('# Front\n')
            with open(os.path.join(root, 'docs', 'b.md'), 'w') as f:
                f.write('# The heading\n\n## Second part: with `code`\n\n## The heading\n')
            with open(os.path.join(root, 'docs', 'a.md'), 'w') as f:
                f.write(text + '\n')
            got = broken_links(root)
            if got != ([expected] if expected else []):
                failures += 1
                print('page %r: expected %r, got %r' % (text, expected, got))
    return failures


def main(argv):
    if argv[1:] == ['--self-test']:
        return 1 if self_test() else 0
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
    problems = broken_links(os.path.abspath(root))
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
