"""What both demo generators share: where the demo and the sources are, the registry roots and
program folders they name, and the engine's built-in skip lists (read from its sources), so that a
generated expected list holds exactly what a scan can report."""

import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DEMO = os.path.dirname(HERE)
ROOT = os.path.dirname(os.path.dirname(DEMO))

HKCR = "HKEY_CLASSES_ROOT\\"
CLASSES = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes"
CLASSES32 = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node"
USER_CLASSES = "HKEY_CURRENT_USER\\Software\\Classes"
PF64 = "C:\\Program Files"
PF32 = "C:\\Program Files (x86)"


# --- skip lists of the engine ----------------------------------------------------------------

def cpp_strings(body):
    """The string literals of a C++ initialiser, adjacent literals joined, escapes removed."""
    entries, current, pos = [], None, 0
    token = re.compile(r'u"((?:[^"\\]|\\.)*)"|(,)|(\s+)|(//[^\n]*)|([{}])')
    while pos < len(body):
        t = token.match(body, pos)
        if not t:
            sys.exit("cannot parse near %r" % body[pos:pos + 40])
        pos = t.end()
        if t.group(1) is not None:
            current = (current or "") + re.sub(r"\\(.)", r"\1", t.group(1))
        elif t.group(2):
            if current is not None:
                entries.append(current)
            current = None
    if current is not None:
        entries.append(current)
    return entries


def cpp_array(text, name):
    m = re.search(re.escape(name) + r"\s*=\s*\{(.*?)\n\};", text, re.S) or \
        re.search(re.escape(name) + r"\{\{(.*?)\}\};", text, re.S)
    if not m:
        sys.exit("cannot find " + name)
    return cpp_strings(m.group(1))


def load_fragments():
    data = open(os.path.join(ROOT, "engine", "skip_lists_data.cpp"), encoding="utf-8").read()
    header = open(os.path.join(ROOT, "engine", "skip_lists.h"), encoding="utf-8").read()
    refs = open(os.path.join(ROOT, "engine", "file_refs.cpp"), encoding="utf-8").read()
    keys = cpp_array(data, "kKeyClassIdEntries") + cpp_array(data, "kKeyOtherEntries")
    keys += cpp_array(header, "kOwnFamilyClassIds")
    files = cpp_array(data, "kFileFixedEntries")
    m = re.search(r"SkippedFolderFragments\(\) \{\s*return \{(.*?)\};", refs, re.S)
    if not m:
        sys.exit("cannot find the skipped-folder fragments")
    folders = cpp_strings(m.group(1))

    def norm(lst):
        return [f.strip().lower() for f in lst if f.strip()]

    return norm(keys), norm(files) + norm(folders)


KEY_FRAGMENTS, FILE_FRAGMENTS = load_fragments()


def key_reportable(key):
    low = key.lower()
    return not any(f in low for f in KEY_FRAGMENTS)


def file_testable(path):
    low = path.lower()
    return not any(f in low for f in FILE_FRAGMENTS)
