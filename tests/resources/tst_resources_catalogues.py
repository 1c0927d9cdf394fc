#!/usr/bin/env python3
"""Checks the translation catalogues against the code.

Every catalogue (<area>_en.ts, <area>_es.ts) must be well-formed; every text
the code translates (tr(), QT_TR_NOOP, QT_TRANSLATE_NOOP,
QCoreApplication::translate, .ui files; extracted with lupdate into a
temporary file) must be present and translated in both languages; and no
translation may lose or add markup (tags, entities) or %N arguments.

Usage: tst_resources_catalogues.py --lupdate PATH --sources DIR --catalogues DIR
Exit code 0 when everything holds, 1 with one line per problem otherwise.
"""
import argparse
import collections
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

LANGUAGES = ('en', 'es')
# Folders whose texts have a catalogue of their own inside another area.
AREA_FOLDERS = {'kit': 'appkit'}

TAG = re.compile(r'<\s*/?\s*[A-Za-z][A-Za-z0-9]*(?:\s[^<>]*)?/?\s*>')
ENTITY = re.compile(r'&(?:#[0-9]+|#[xX][0-9A-Fa-f]+|[A-Za-z][A-Za-z0-9]*);')
ARGUMENT = re.compile(r'%L?([1-9][0-9]?)|%(n)')

Message = collections.namedtuple(
    'Message', 'context source comment numerus translation kind file line')


def text_of(element):
    return '' if element is None or element.text is None else element.text


def read_catalogue(path):
    """The messages of one .ts file; raises ET.ParseError when it is not XML."""
    tree = ET.parse(path)
    root = tree.getroot()
    if root.tag != 'TS':
        raise ET.ParseError('the root element is <%s>, not <TS>' % root.tag)
    messages = []
    for context in root.iter('context'):
        name = text_of(context.find('name'))
        for message in context.iter('message'):
            source = message.find('source')
            translation = message.find('translation')
            forms = None
            if translation is not None:
                numerus = translation.findall('numerusform')
                forms = [text_of(f) for f in numerus] if numerus else [text_of(translation)]
            location = message.find('location')
            messages.append(Message(
                context=name,
                source=text_of(source),
                comment=text_of(message.find('comment')),
                numerus=message.get('numerus') == 'yes',
                translation=forms,
                kind=None if translation is None else translation.get('type'),
                file=path,
                line=None if location is None else location.get('line')))
    return messages


def key(message):
    return (message.context, message.source, message.comment)


def quoted(text, limit=160):
    """A text on one line, for the report; long ones cut."""
    text = text.replace('\\', '\\\\').replace('\n', '\\n').replace('\r', '\\r')
    return '"%s"' % (text if len(text) <= limit else text[:limit] + '...')


def markup_change(source, translation):
    """'lost [...] added [...]' between two texts' markup, or None when equal."""
    before = collections.Counter(markup(source))
    after = collections.Counter(markup(translation))
    if before == after:
        return None
    parts = []
    if before - after:
        parts.append('lost %s' % sorted((before - after).elements()))
    if after - before:
        parts.append('added %s' % sorted((after - before).elements())[:6])
    return ' and '.join(parts)


def describe(message):
    text = quoted(message.source)
    if message.comment:
        text += ' (comment "%s")' % message.comment
    return 'context %s, %s' % (message.context, text)


def markup(text):
    tags = sorted(re.sub(r'\s+', ' ', t) for t in TAG.findall(text))
    return tags + sorted(ENTITY.findall(text))


def arguments(text):
    return sorted({a or n for a, n in ARGUMENT.findall(text)})


def area_of(location, sources):
    rel = os.path.relpath(location, sources).replace(os.sep, '/')
    for folder, area in AREA_FOLDERS.items():
        if rel.startswith(folder + '/'):
            return area
    return rel.split('/')[0] if '/' in rel else None


def extract(lupdate, sources, workdir):
    """The texts the code translates, each with where it is used."""
    out = os.path.join(workdir, 'extracted.ts')
    run = subprocess.run([lupdate, '-silent', '-locations', 'absolute', '-I', sources,
                          sources, '-ts', out],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         universal_newlines=True, timeout=300)
    if run.returncode != 0 or not os.path.exists(out):
        raise RuntimeError('lupdate failed (exit %d):\n%s' % (run.returncode, run.stdout))
    tree = ET.parse(out)
    found = []
    for context in tree.getroot().iter('context'):
        name = text_of(context.find('name'))
        for message in context.iter('message'):
            # lupdate writes the file names relative to the catalogue.
            where = [(os.path.normpath(os.path.join(workdir, l.get('filename'))), l.get('line'))
                     for l in message.findall('location')]
            found.append((Message(context=name, source=text_of(message.find('source')),
                                  comment=text_of(message.find('comment')),
                                  numerus=message.get('numerus') == 'yes', translation=None,
                                  kind=None, file=None, line=None), where))
    return found


def check(lupdate, sources, catalogues):
    root = os.path.dirname(sources)

    def shown(path):
        return os.path.relpath(path, root)

    problems = []
    unreadable = set()
    by_language = {lang: collections.defaultdict(list) for lang in LANGUAGES}
    areas = set()
    names = sorted(n for n in os.listdir(catalogues) if n.endswith('.ts'))
    for name in names:
        path = os.path.join(catalogues, name)
        label = shown(path)
        match = re.fullmatch(r'(.+)_([a-z]{2})\.ts', name)
        if not match or match.group(2) not in LANGUAGES:
            problems.append('%s: not named <area>_en.ts or <area>_es.ts' % label)
            continue
        areas.add(match.group(1))
        try:
            messages = read_catalogue(path)
        except ET.ParseError as error:
            problems.append('%s: not well-formed XML: %s' % (label, error))
            unreadable.add(path)
            continue
        for message in messages:
            by_language[match.group(2)][key(message)].append(message)
            if message.kind in ('vanished', 'obsolete') or message.translation is None:
                continue
            for form in message.translation:
                if not form:
                    continue
                change = markup_change(message.source, form)
                if change:
                    problems.append('%s: %s: the translation %s %s markup'
                                    % (label, describe(message), quoted(form), change))
                if arguments(form) != arguments(message.source):
                    problems.append('%s: %s: the translation %s has the arguments %s, '
                                    'the source text %s' % (label, describe(message), quoted(form),
                                                            arguments(form),
                                                            arguments(message.source)))
    for area in sorted(areas):
        for lang in LANGUAGES:
            if not os.path.exists(os.path.join(catalogues, '%s_%s.ts' % (area, lang))):
                problems.append('%s: %s_%s.ts is missing' % (shown(catalogues), area, lang))

    for lang in LANGUAGES:
        for entries in by_language[lang].values():
            texts = {tuple(m.translation or ()) for m in entries if m.kind not in ('vanished', 'obsolete')}
            if len(texts) > 1:
                problems.append('%s: %s is translated differently in %s'
                                % (lang, describe(entries[0]),
                                   ', '.join(sorted({shown(m.file) for m in entries}))))

    with tempfile.TemporaryDirectory(prefix='bw-catalogue-check-') as workdir:
        used = extract(lupdate, sources, workdir)
    if not used:
        problems.append('lupdate found no translated text in %s' % sources)
    not_checked = collections.Counter()
    for message, where in used:
        place = ', '.join('%s:%s' % (shown(f), l) for f, l in where)
        area = area_of(where[0][0], sources) if where else None
        for lang in LANGUAGES:
            home_path = os.path.join(catalogues, '%s_%s.ts' % (area, lang) if area in areas
                                     else '<area>_%s.ts' % lang)
            home = shown(home_path)
            entries = by_language[lang].get(key(message), [])
            live = [m for m in entries if m.kind not in ('vanished', 'obsolete')]
            if not live and home_path in unreadable:
                not_checked[home] += 1
                continue
            if not live:
                state = 'missing' if not entries else 'marked %s' % entries[0].kind
                problems.append('%s: %s is %s (used at %s)' % (home, describe(message), state, place))
                continue
            for entry in live:
                if entry.kind == 'unfinished':
                    problems.append('%s: %s is unfinished (used at %s)'
                                    % (shown(entry.file), describe(message), place))
                elif not entry.translation or not all(entry.translation):
                    problems.append('%s: %s has an empty translation (used at %s)'
                                    % (shown(entry.file), describe(message), place))
                if entry.numerus != message.numerus:
                    problems.append('%s: %s is %s in the code but not in the catalogue'
                                    % (shown(entry.file), describe(message),
                                       'plural' if message.numerus else 'singular'))
    for home, count in sorted(not_checked.items()):
        problems.append('%s: %d text(s) of the code not checked until the file reads again' % (home, count))
    return problems, len(used)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--lupdate', required=True)
    parser.add_argument('--sources', required=True, help='the src folder')
    parser.add_argument('--catalogues', required=True, help='the translations folder')
    args = parser.parse_args()
    sources = os.path.abspath(args.sources)
    catalogues = os.path.abspath(args.catalogues)
    try:
        problems, count = check(args.lupdate, sources, catalogues)
    except (OSError, RuntimeError, subprocess.SubprocessError, ET.ParseError) as error:
        print('FAIL: the check could not run: %s' % error)
        return 1
    for problem in problems:
        print('FAIL: ' + problem)
    if problems:
        print('%d problem(s) in the translation catalogues (%d texts used by the code)'
              % (len(problems), count))
        return 1
    print('PASS: %d texts used by the code, all translated in %s' % (count, ' and '.join(LANGUAGES)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
