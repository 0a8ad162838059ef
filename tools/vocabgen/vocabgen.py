#!/usr/bin/env python3
"""Generate the MQSC vocabulary tables (C++) from the data files in src/mqsc/data.

usage: vocabgen.py DATA_DIR OUTPUT_CPP [REPORT_TXT]

Every name a data file refers to (value table, name list, constant) must resolve, or the
build stops with the file and line at fault: a slip in the data never reaches the program.
"""
import re
import sys
from collections import OrderedDict
from pathlib import Path


class DataError(Exception):
    pass


def data_lines(path):
    """Yield (line number, line) for the non-blank, non-comment lines of a data file."""
    for number, line in enumerate(path.read_text().splitlines(), 1):
        if not line.strip() or line.startswith('#'):
            continue
        yield number, line


def fail(path, number, message):
    raise DataError(f"{path.name}:{number}: {message}")


def cstr(text):
    if text is None:
        return "nullptr"
    return '"' + text.replace('\\', '\\\\').replace('"', '\\"') + '"'


def ident(name):
    return re.sub(r'[^A-Za-z0-9_]', '_', name)


def parse_conditions(text, path, number):
    """'36,!19' -> (36, 0, 19): two required flags and one excluded flag."""
    required, excluded = [], 0
    if text in ('-', ''):
        return (0, 0, 0)
    for part in text.split(','):
        try:
            if part.startswith('!'):
                if excluded:
                    fail(path, number, f"more than one excluded flag in '{text}'")
                excluded = int(part[1:])
            else:
                required.append(int(part))
        except ValueError:
            fail(path, number, f"bad capability condition '{text}'")
    if len(required) > 2:
        fail(path, number, f"more than two required flags in '{text}'")
    required += [0] * (2 - len(required))
    for flag in required + [excluded]:
        if not 0 <= flag < 72:
            fail(path, number, f"capability flag {flag} out of range")
    return (required[0], required[1], excluded)


# --------------------------------------------------------------------- constants

ABBREVIATIONS = {
    'Q': 'Queue', 'MGR': 'Manager', 'MAX': 'Maximum', 'MIN': 'Minimum', 'MSG': 'Message',
    'MSGS': 'Messages', 'ATTRS': 'Attributes', 'DESC': 'Description', 'NUM': 'Number',
}
ACRONYMS = {'SSL', 'TLS', 'CF', 'QSG', 'MCA', 'TCP', 'IP', 'LDAP', 'CRL', 'OCSP', 'MQI', 'PCF',
            'CICS', 'IMS', 'AMQP', 'MQTT', 'XA', 'UOW', 'DN', 'URL', 'LU62', 'DNS', 'JMS', 'XCF',
            'SMDS', 'CCSID', 'MQ', 'ID', 'NT', 'OS', 'API', 'MQSC', 'RFH2', 'IGQ', 'PSB', 'PST'}


def describe(name):
    """MQRC_UNKNOWN_OBJECT_NAME -> 'Unknown Object Name'; MQIA_MAX_Q_DEPTH -> 'Maximum Queue Depth'."""
    words = name.split('_')[1:]
    if name.startswith(('ZRT_ATTR_', 'ZRT_CMD_')):
        words = words[1:]
    out = []
    for word in words:
        if not word:
            continue
        if word in ABBREVIATIONS:
            out.append(ABBREVIATIONS[word])
        elif word in ACRONYMS:
            out.append(word if word != 'ID' else 'Id')
        else:
            out.append(word[0] + word[1:].lower())
    return ' '.join(out)


class Constants:
    def __init__(self, data):
        self.values = OrderedDict()       # name -> value (int32 only)
        self.descriptions = {}
        for fname in ('constants.tsv', 'own_constants.tsv'):
            path = data / fname
            for number, line in data_lines(path):
                cols = line.split('\t')
                if len(cols) < 3:
                    fail(path, number, "expected name, kind and value")
                name, kind, value = cols[0], cols[1], cols[2]
                if kind != 'int32':
                    continue
                try:
                    self.values[name] = int(value, 0)
                except ValueError:
                    fail(path, number, f"bad value '{value}' for {name}")
                if len(cols) > 3 and cols[3]:
                    self.descriptions[name] = cols[3]
        self.keywords = {}
        path = data / 'const_keywords.tsv'
        for number, line in data_lines(path):
            cols = line.split('\t')
            if len(cols) != 2 or cols[0] not in self.values:
                fail(path, number, f"unknown constant '{cols[0]}'")
            self.keywords[cols[0]] = cols[1]

    def resolve(self, text, path, number):
        """An integer literal or a constant name."""
        try:
            return int(text, 0)
        except ValueError:
            pass
        if text not in self.values:
            fail(path, number, f"unknown constant '{text}'")
        return self.values[text]


def build_constant_tables(data, consts):
    path = data / 'const_tables.tsv'
    tables = []          # (name, sort, prefixes)
    for number, line in data_lines(path):
        cols = line.split('\t')
        if cols[1] == '=first':
            tables.append((cols[0], '=first', []))
            continue
        if len(cols) < 3 or cols[1] not in ('name', 'value', '-'):
            fail(path, number, "expected table, sort order and prefixes")
        tables.append((cols[0], cols[1], cols[2].split()))
    owner = {}
    for name in consts.values:
        best = None
        for table, _, prefixes in tables:
            for prefix in prefixes:
                if name.startswith(prefix) and (best is None or len(prefix) > len(best[1])):
                    best = (table, prefix)
        if best:
            owner.setdefault(best[0], []).append(name)
    rows = OrderedDict()
    for table, sort, _ in tables:
        if sort == '=first':
            continue
        names = owner.get(table, [])
        if sort == 'name':
            names = sorted(names)
        elif sort == 'value':
            names = sorted(names, key=lambda n: (consts.values[n], n))
        if not names:
            raise DataError(f"const_tables.tsv: table '{table}' has no constants")
        rows[table] = names
    order = [t for t, s, _ in tables if s != '=first'] + [tables[0][0] for t in tables if t[1] == '=first']
    return rows, order


# --------------------------------------------------------------------- values

def load_values(data, consts):
    path = data / 'values.tsv'
    tables = OrderedDict()
    current = None
    for number, line in data_lines(path):
        if line.startswith('['):
            current = line.strip('[] ')
            if current in tables:
                fail(path, number, f"value table '{current}' defined twice")
            tables[current] = []
            continue
        if current is None:
            fail(path, number, "row before the first [table]")
        cols = line.split('\t')
        if len(cols) < 2:
            fail(path, number, "expected keyword and value")
        keyword = cols[0]
        value = consts.resolve(cols[1], path, number)
        description = cols[2] if len(cols) > 2 and cols[2] else describe('X_' + keyword.lstrip('!'))
        conditions = parse_conditions(cols[3] if len(cols) > 3 else '-', path, number)
        if any(r[3].upper() == keyword.upper() for r in tables[current]):
            fail(path, number, f"duplicate value '{keyword}' in [{current}]")
        tables[current].append((conditions, value, description, keyword))
    return tables


# --------------------------------------------------------------------- commands

OBJECT_LETTERS = {'CHANNEL': 'c', 'QLOCAL': 'l', 'QMODEL': 'm', 'QREMOTE': 'r', 'QUEUE': 'q',
                  'NAMELIST': 'n', 'PROCESS': 'p'}
MODES = {'Q': 1, 'F': 2, 'L': 3, 'T': 4}


def load_commands(data):
    path = data / 'commands.tsv'
    rows = []
    for number, line in data_lines(path):
        cols = line.split()
        if len(cols) != 10:
            fail(path, number, f"expected 10 columns, found {len(cols)}")
        verb, vshort, letter, obj, oshort, mode, kind, cond, table, namelist = cols
        if mode not in MODES:
            fail(path, number, f"bad mode '{mode}'")
        if len(letter) != 1:
            fail(path, number, f"bad command letter '{letter}'")
        obj = None if obj == '-' else obj
        rows.append(dict(
            verb=verb, vshort='' if vshort == '-' else vshort, letter=letter, obj=obj,
            oshort='' if oshort == '-' else oshort, mode=MODES[mode],
            kind={'*': '*', '-': '', 'x': 'x'}[kind],
            cond=parse_conditions(cond, path, number),
            table=None if table == '-' else table, namelist=None if namelist == '-' else namelist,
            objletter=OBJECT_LETTERS.get(obj, 'a'),
            complete=1 if verb in ('=key', '=keyname', '=syn') else 0))
    return rows


# --------------------------------------------------------------------- fields

VERB_ALIASES = {'ALT': 'ALTER', 'DEF': 'DEFINE', 'DIS': 'DISPLAY', 'STA': 'START', 'REF': 'REFRESH',
                'ARC': 'ARCHIVE', 'REC': 'RECOVER', 'RES': 'RESOLVE', 'REV': 'RVERIFY'}
OBJECT_ALIASES = {'BP': 'BUFFPOOL', 'CHL': 'CHANNEL', 'LSTR': 'LISTENER', 'NL': 'NAMELIST',
                  'PRO': 'PROCESS', 'PROC': 'PROCESS', 'QA': 'QALIAS', 'QL': 'QLOCAL', 'QM': 'QMODEL',
                  'QR': 'QREMOTE', 'Q': 'QUEUE', 'QC': 'QCLUSTER', 'QS': 'QSTATUS', 'SEC': 'SECURITY',
                  'STC': 'STGCLASS', 'TPS': 'TPSTATUS', 'CHI': 'CHINIT', 'DQM': 'CHINIT',
                  'CS': 'CMDSERV', 'THD': 'THREAD', 'MAXSM': 'MAXSMSGS', 'ARC': 'ARCHIVE',
                  'CHS': 'CHSTATUS', 'APS': 'APSTATUS'}


class Attr:
    def __init__(self, type_='s', values=None, namelist=None, cond=(0, 0, 0), arg=None, table=None):
        self.type, self.values, self.namelist, self.cond, self.arg, self.table = \
            type_, values, namelist, cond, arg, table


def load_attributes(data, value_tables, namelists):
    path = data / 'fieldattrs.tsv'
    general, specific = {}, {}
    for number, line in data_lines(path):
        cols = line.split('\t')
        if len(cols) != 3 or len(cols[0]) != 1:
            fail(path, number, "expected type, options and keywords")
        attr = Attr(cols[0])
        for option in ([] if cols[1] == '-' else cols[1].split(',')):
            key, _, val = option.partition('=')
            if key == 'v':
                if val not in value_tables:
                    fail(path, number, f"unknown value table '{val}'")
                attr.values = val
            elif key == 'n':
                if val not in namelists:
                    fail(path, number, f"unknown name list '{val}'")
                attr.namelist = val
            elif key == 'c':
                attr.cond = parse_conditions(val.replace(';', ','), path, number)
            elif key == 'a':
                if val not in ('s', 'v', 'W'):
                    fail(path, number, f"bad argument mode '{val}'")
                attr.arg = val
            elif key == 't':
                attr.table = val
            else:
                fail(path, number, f"unknown option '{option}'")
        for keyword in cols[2].split():
            target = specific.setdefault(attr.table, {}) if attr.table else general
            target[keyword] = attr
    return general, specific


KEYWORD_RE = re.compile(r'^[A-Z][A-Z0-9]*$')


def keyword_files(data):
    """keywords.tsv (IBM's language tables) first, then the keywords_*.tsv completions."""
    return [data / 'keywords.tsv'] + sorted(data.glob('keywords_*.tsv'))


def fixed_conditions(cond_text, path, number):
    return parse_conditions(cond_text, path, number)


def build_field_tables(data, commands, value_tables, namelists, consts, report):
    general, specific = load_attributes(data, value_tables, namelists)
    explicit = OrderedDict()
    path = data / 'fieldrows.tsv'
    for number, line in data_lines(path):
        cols = line.split('\t')
        if len(cols) != 11:
            fail(path, number, f"expected 11 columns, found {len(cols)}")
        table, mask, objmask, type_, keyword, values, nl, pcf, offset, kind, cond = cols
        if len(mask) % 2:
            fail(path, number, f"command mask '{mask}' is not letter pairs")
        if values != '-' and values not in value_tables:
            fail(path, number, f"unknown value table '{values}'")
        if nl != '-' and nl not in namelists:
            fail(path, number, f"unknown name list '{nl}'")
        rows = explicit.setdefault(table, OrderedDict())
        if keyword.upper() in rows:
            fail(path, number, f"duplicate keyword '{keyword}' in table '{table}'")
        rows[keyword.upper()] = dict(
            cond=fixed_conditions(cond, path, number), mask=mask.replace('_', ' '), objmask=objmask,
            type=type_, keyword=keyword, values=None if values == '-' else values,
            namelist=None if nl == '-' else nl, pcf=consts.resolve(pcf, path, number),
            offset=int(offset), kind=int(kind))

    by_pair = {}
    for row in commands:
        if row['obj'] and row['table']:
            by_pair.setdefault((row['verb'], row['obj']), []).append(row)
    table_objects = {}
    for row in commands:
        if row['table'] and row['table'] not in explicit:
            table_objects.setdefault(row['table'], set()).add(row['objletter'])

    usage = {}        # table -> keyword -> {letters: [..], objs: set}
    for path in keyword_files(data):
        for number, line in data_lines(path):
            cols = line.split('\t')
            if len(cols) != 4:
                fail(path, number, "expected verb, object, sub-type and keywords")
            for keyword in cols[3].split():
                if not KEYWORD_RE.match(keyword):
                    fail(path, number, f"bad keyword '{keyword}'")
            # The pseudo-verb WHERE lists response attributes that DISPLAY does not take as
            # selectors but that WHERE clauses and =SORT may name: they get the letter W.
            where_only = cols[0] == 'WHERE'
            verb = 'DISPLAY' if where_only else VERB_ALIASES.get(cols[0], cols[0])
            obj = OBJECT_ALIASES.get(cols[1], cols[1])
            rows = by_pair.get((verb, obj))
            if not rows:
                report.append(f"{path.name}:{number}: no command row for {cols[0]} {cols[1]}; ignored")
                continue
            for row in rows:
                if row['table'] in explicit:
                    continue
                letter = 'W' if where_only else row['letter']
                for keyword in cols[3].split():
                    entry = usage.setdefault(row['table'], OrderedDict()).setdefault(
                        keyword, {'letters': [], 'objs': set()})
                    if letter not in entry['letters']:
                        entry['letters'].append(letter)
                    entry['objs'].add(row['objletter'])

    # Object-name keywords that only WHERE and =SORT use.
    for table, attrs in specific.items():
        for keyword, attr in attrs.items():
            if attr.arg == 'W' and table in table_objects:
                usage.setdefault(table, OrderedDict()).setdefault(
                    keyword, {'letters': [], 'objs': set(table_objects[table])})

    tables = OrderedDict()
    untyped = set()
    letter_order = 'aAmBCDXdMPpRFrvtsSnW'
    for table in sorted(set(table_objects) | set(usage)):
        rows = OrderedDict()
        for keyword in sorted(usage.get(table, {})):
            entry = usage[table][keyword]
            attr = specific.get(table, {}).get(keyword) or general.get(keyword)
            if attr is None:
                untyped.add(keyword)
                attr = Attr()
            letters = sorted(entry['letters'], key=letter_order.index)
            if attr.arg == 'W' and 'W' not in letters:
                letters.append('W')
            mask = ''
            for letter in letters:
                if attr.arg == 's':
                    mask += letter + ' '
                elif attr.arg in ('v', 'W'):
                    mask += letter + '*'
                else:
                    mask += letter + (' ' if letter == 'd' else '*')
            rows[keyword] = dict(cond=attr.cond, mask=mask,
                                 objmask=''.join(sorted(entry['objs'])), type=attr.type,
                                 keyword=keyword, values=attr.values, namelist=attr.namelist,
                                 pcf=0, offset=-1, kind=0)
        tables[table] = rows
    for table, rows in explicit.items():
        tables[table] = rows
    report.append(f"keywords without a fieldattrs.tsv row (strings): {len(untyped)}")
    report.append('  ' + ' '.join(sorted(untyped)))
    for row in commands:
        if row['table'] and row['table'] not in tables:
            raise DataError(f"commands.tsv: field table '{row['table']}' has no keywords")
    return tables


# --------------------------------------------------------------------- output

def emit(data, out_path, report_path):
    report = []
    consts = Constants(data)
    value_tables = load_values(data, consts)
    namelists = OrderedDict()
    path = data / 'namelists.tsv'
    for number, line in data_lines(path):
        cols = line.split('\t')
        if len(cols) != 5:
            fail(path, number, "expected 5 columns")
        namelists[cols[0]] = (consts.resolve(cols[1], path, number),
                              0 if cols[2] == '-' else consts.resolve(cols[2], path, number),
                              consts.resolve(cols[3], path, number), int(cols[4]))
    commands = load_commands(data)
    for row in commands:
        if row['namelist'] and row['namelist'] not in namelists:
            raise DataError(f"commands.tsv: unknown name list '{row['namelist']}'")
    fields = build_field_tables(data, commands, value_tables, namelists, consts, report)
    const_rows, order = build_constant_tables(data, consts)

    out = []
    w = out.append
    w('// Generated by tools/vocabgen/vocabgen.py from src/mqsc/data. Do not edit.')
    w('#include "mqsc/vocab_data.h"')
    w('')
    w('namespace {')
    w('')
    for name, rows in value_tables.items():
        w(f'const ValueDef kValues_{ident(name)}[] = {{')
        for cond, value, description, keyword in rows:
            hidden = 1 if keyword.startswith('!') else 0
            w(f'  {{{{{cond[0]}, {cond[1]}, {cond[2]}}}, 0, {value}, {cstr(description)}, {cstr(keyword)}, {hidden}, 0}},')
        w('  {{0, 0, 0}, 0, 0, "", nullptr, 0, 0},')
        w('};')
    w('')
    w('}  // namespace')
    w('')
    w('const NameListDef kNameLists[] = {')
    nl_index = {}
    for i, (kind, (cmd, sel, parm, tolk)) in enumerate(namelists.items()):
        nl_index[kind] = i
        w(f'  {{{cstr(kind)}, {cmd}, {sel}, {parm}, {tolk}}},')
    w('  {nullptr, 0, 0, 0, 0},')
    w('};')
    w(f'const int kNameListCount = {len(namelists)};')
    w('')
    w('namespace {')
    w('')

    def field_row(r):
        values = f'kValues_{ident(r["values"])}' if r['values'] else 'nullptr'
        nl = f'&kNameLists[{nl_index[r["namelist"]]}]' if r['namelist'] else 'nullptr'
        c = r['cond']
        return (f'  {{{{{c[0]}, {c[1]}, {c[2]}}}, {cstr(r["mask"])}, {cstr(r["objmask"])}, '
                f"'{r['type']}', {cstr(r['keyword'])}, {values}, {nl}, {r['pcf']}, 0, "
                f'{r["offset"]}, {r["kind"]}, 0, {len(r["keyword"])}, 0}},')

    for name, rows in fields.items():
        if name == 'mqmd':
            continue
        w(f'const FieldDef kFields_{ident(name)}[] = {{')
        for r in rows.values():
            w(field_row(r))
        w('  {{0, 0, 0}, nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0, 0, -1, 0, 0, 0, 0},')
        w('};')
    w('')
    w('}  // namespace')
    w('')
    w('const FieldDef kMessageDescriptorFields[] = {')
    for r in fields.get('mqmd', {}).values():
        w(field_row(r))
    w('  {{0, 0, 0}, nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0, 0, -1, 0, 0, 0, 0},')
    w('};')
    w('')
    w('const CommandDef kCommandTable[] = {')
    for r in commands:
        c = r['cond']
        table = f'kFields_{ident(r["table"])}' if r['table'] else 'nullptr'
        nl = f'&kNameLists[{nl_index[r["namelist"]]}]' if r['namelist'] else 'nullptr'
        w(f'  {{{{{c[0]}, {c[1]}, {c[2]}}}, {r["mode"]}, \'{r["letter"]}\', {cstr(r["verb"])}, '
          f'{cstr(r["vshort"])}, {r["complete"]}, \'{r["objletter"]}\', {cstr(r["obj"])}, '
          f'{cstr(r["oshort"])}, {cstr(r["kind"])}, {table}, {nl}}},')
    w('  {{0, 0, 0}, 0, 0, nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr},')
    w('};')
    w(f'const int kCommandCount = {len(commands)};')
    w('')
    w('const FieldTableInfo kFieldTables[] = {')
    for name in fields:
        sym = 'kMessageDescriptorFields' if name == 'mqmd' else f'kFields_{ident(name)}'
        w(f'  {{{cstr(name)}, {sym}}},')
    w('  {nullptr, nullptr},')
    w('};')
    w('')
    w('const ValueTableInfo kValueTables[] = {')
    for name in value_tables:
        w(f'  {{{cstr(name)}, kValues_{ident(name)}}},')
    w('  {nullptr, nullptr},')
    w('};')
    w('')
    for table, names in const_rows.items():
        w(f'const ConstNameDef kConst_{table}[] = {{')
        for name in names:
            if name == 'MQFB_NONE':
                description = ''
            else:
                description = consts.descriptions.get(name) or describe(name)
            w(f'  {{{consts.values[name]}, {cstr(name)}, {cstr(description)}, {cstr(consts.keywords.get(name))}}},')
        w('  {0, nullptr, nullptr, nullptr},')
        w('};')
    w('')
    w('const ConstNameDef* const kConstantSearchOrder[] = {')
    for table in order:
        w(f'  kConst_{table},')
    w('  nullptr,')
    w('};')
    w('const ConstNameDef* const kReasonCodeTable = kConst_reasons;')
    w('const ConstNameDef* const kFeedbackTable = kConst_feedback;')
    w('const ConstNameDef* const kParameterTable = kConst_parameters;')
    w('')
    # Name index: every name once, the first in search order winning, sorted for binary search.
    seen = {}
    for table in order:
        for name in const_rows[table]:
            seen.setdefault(name.upper(), consts.values[name])
    w('const ConstIndexEntry kConstantIndex[] = {')
    for name in sorted(seen):
        w(f'  {{{cstr(name)}, {seen[name]}}},')
    w('};')
    w(f'const int kConstantIndexCount = {len(seen)};')
    w('')

    text = '\n'.join(out) + '\n'
    out_path.parent.mkdir(parents=True, exist_ok=True)
    if not out_path.exists() or out_path.read_text() != text:
        out_path.write_text(text)
    if report_path:
        summary = [f"commands: {len(commands)}", f"field tables: {len(fields)}",
                   f"keywords: {sum(len(r) for r in fields.values())}",
                   f"value tables: {len(value_tables)}",
                   f"constant tables: {len(const_rows)} ({sum(len(r) for r in const_rows.values())} rows)"]
        Path(report_path).write_text('\n'.join(summary + report) + '\n')


def main(argv):
    if len(argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    try:
        emit(Path(argv[1]), Path(argv[2]), argv[3] if len(argv) == 4 else None)
    except DataError as error:
        print(f"vocabgen: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
