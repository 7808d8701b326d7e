#!/usr/bin/env python3
"""Generates the file-type content of the demo machine.

Writes, beside this folder:
  30-filetypes.reg        file extensions, file types and the classes they name
  files-filetypes.txt     the program files those registrations point to
  expected-filetypes.tsv  what the file-types scan reports on the machine

The healthy part is a few hundred extensions of made-up applications whose programs, icons and
shell extensions exist. The leftovers are what uninstallers of such applications typically forget.
Every leftover key is checked against the built-in key skip list and every missing file against
the file skip lists (read from the engine's sources), so that the expected list holds exactly what
a scan can report.

Run from anywhere: python3 machines/demo/gen/filetypes.py
"""

import os
import random
import sys

from engine_skips import (CLASSES, CLASSES32, DEMO, HKCR, PF32, PF64, USER_CLASSES, file_testable,
                          key_reportable)

BIT = "0x0004"

rng = random.Random(20240611)


# --- output helpers -------------------------------------------------------------------------

class Reg:
    def __init__(self):
        self.keys = {}  # path -> list of (name, text); insertion ordered

    def key(self, path):
        self.keys.setdefault(path, [])

    def value(self, path, name, text):
        self.keys.setdefault(path, []).append((name, text))

    def write(self, file):
        out = ["Windows Registry Editor Version 5.00", ""]
        for path, values in self.keys.items():
            out.append("[%s]" % path)
            for name, text in values:
                esc = text.replace("\\", "\\\\").replace('"', '\\"')
                lhs = "@" if name is None else '"%s"' % name
                out.append('%s="%s"' % (lhs, esc))
            out.append("")
        with open(file, "w", encoding="utf-8", newline="\r\n") as f:
            f.write("\n".join(out))


reg = Reg()
files = set()
expected = []       # (entryType, key, is32)
expected_all = []   # with the empty-key setting off as well
used_types = set()


def guid():
    while True:
        g = "{%08X-%04X-4%03X-%04X-%012X}" % (
            rng.getrandbits(32), rng.getrandbits(16), rng.getrandbits(12),
            0x8000 | rng.getrandbits(14), rng.getrandbits(48))
        if key_reportable(g):
            return g


def claim(type_name):
    low = type_name.lower()
    if low in used_types:
        sys.exit("type name used twice: " + type_name)
    used_types.add(low)


def expect(entry_type, subkey, both_views=True, empty_key_setting=False):
    key = HKCR + subkey
    if not key_reportable(key):
        sys.exit("planted finding would be skipped: " + key)
    views = (0, 1) if both_views else (0,)
    for is32 in views:
        expected_all.append((entry_type, key, is32))
        if not empty_key_setting:
            expected.append((entry_type, key, is32))


def missing_file(path):
    if not file_testable(path):
        sys.exit("planted missing file would not be tested: " + path)
    if path.lower() in (f.lower() for f in files):
        sys.exit("planted missing file exists: " + path)
    return path


# --- healthy applications -------------------------------------------------------------------

# vendor, application, program, 64-bit, document kinds
APPS = [
    ("Quillmark", "Writer", "qwriter.exe", True, ["Manuscript", "Outline", "Template", "Draft"]),
    ("Pinecrest", "Photo Studio", "pcphoto.exe", True, ["Image", "Layered Image", "Album"]),
    ("Halvard", "Code Pad", "codepad.exe", False, ["Source", "Script", "Header", "Project", "Snippet"]),
    ("Lumenfield", "Player", "lfplay.exe", False, ["Audio Track", "Playlist", "Video Clip"]),
    ("Ostrava Labs", "SheetCalc", "sheetcalc.exe", True, ["Workbook", "Chart", "Template"]),
    ("Brackenridge", "Archiver", "barch.exe", True, ["Archive", "Split Archive", "Self-Check File"]),
    ("Tamsin", "Diagram", "tdiagram.exe", False, ["Diagram", "Stencil", "Drawing"]),
    ("Cobaltine", "Mail", "cmail.exe", False, ["Message", "Contact Card", "Mailbox Export"]),
    ("Velloria", "Reader", "vreader.exe", True, ["Portable Page", "Comic Book", "E-Book"]),
    ("Marrowind", "Notes", "mnotes.exe", False, ["Notebook", "Note", "Clipping"]),
    ("Ashgrove", "CAD Lite", "cadlite.exe", True, ["Part", "Assembly", "Sketch Plan"]),
    ("Fennick", "Fonts", "ffonts.exe", False, ["Font Collection", "Glyph Set"]),
    ("Greyhallow", "Subtitles", "subedit.exe", False, ["Subtitle", "Timing Script"]),
    ("Oaklume", "Budget", "obudget.exe", True, ["Ledger", "Budget Plan", "Statement"]),
    ("Pellucid", "Screen Capture", "pcapture.exe", True, ["Capture", "Recording"]),
    ("Rookwell", "Chess", "rchess.exe", False, ["Game Record", "Position"]),
    ("Saltmere", "Maps", "smaps.exe", True, ["Route", "Map Tile Pack", "Waypoints"]),
    ("Thistledown", "Recipes", "recipes.exe", False, ["Recipe", "Meal Plan"]),
    ("Umberlane", "Terminal", "uterm.exe", True, ["Session", "Key Macro"]),
    ("Wrenfield", "Sound Forge", "wsound.exe", True, ["Wave Project", "Loop", "Sample Bank"]),
    ("Yarrowby", "Planner", "yplan.exe", False, ["Schedule", "Task List", "Gantt Chart"]),
    ("Zelkova", "Scanner", "zscan.exe", False, ["Scan Batch", "Scan Profile"]),
    ("Ambercliff", "Genealogy", "family.exe", False, ["Family Tree", "Person Card"]),
    ("Birchmont", "Slides", "bslides.exe", True, ["Presentation", "Slide Theme"]),
    ("Corrib", "Database", "cordb.exe", True, ["Database", "Query", "Form"]),
    ("Dunmore", "Astronomy", "stars.exe", False, ["Sky Chart", "Observation Log"]),
    ("Elderbank", "Invoices", "invoice.exe", False, ["Invoice", "Quote"]),
    ("Foxmoor", "Vector Draw", "fvector.exe", True, ["Vector Drawing", "Symbol Library", "Palette"]),
    ("Glenrock", "Photo Viewer", "gview.exe", True, ["Raw Image", "Slide Show"]),
    ("Hollowmere", "Flashcards", "cards.exe", False, ["Deck", "Study Plan"]),
    ("Ivybridge", "Music Notation", "score.exe", True, ["Score", "Part Sheet", "Style Sheet"]),
    ("Juniper Hill", "Weather", "jweather.exe", False, ["Station Log"]),
    ("Kingsmere", "Photo Book", "pbook.exe", False, ["Photo Book", "Layout"]),
    ("Larkspur", "Backup Manager", "lbackmgr.exe", True, ["Job", "Catalog"]),
    ("Merriweather", "Knitting", "knit.exe", False, ["Pattern", "Chart Grid"]),
    ("Northwick", "Circuit", "circuit.exe", True, ["Schematic", "Board Layout", "Part List"]),
    ("Oldcastle", "Family Videos", "fvideo.exe", True, ["Video Project", "Title Template"]),
    ("Penhallow", "Ebook Studio", "ebstudio.exe", False, ["Book Project", "Cover"]),
    ("Quarrydale", "Stamp Album", "stamps.exe", False, ["Collection"]),
    ("Redfern", "Sudoku", "sudoku.exe", False, ["Puzzle", "Puzzle Pack"]),
    ("Silverdale", "Disc Image", "discimg.exe", True, ["Disc Image", "Mount Profile"]),
    ("Tern Valley", "Garden", "garden.exe", False, ["Garden Plan", "Plant List"]),
    ("Underhill", "Trains", "trains.exe", False, ["Layout Plan", "Timetable"]),
    ("Westerby", "Hex Edit", "hexed.exe", True, ["Binary Template", "Structure Map"]),
    ("Ashby", "Mind Map", "mindmap.exe", True, ["Mind Map", "Map Theme"]),
    ("Bellhaven", "Podcast", "podcast.exe", False, ["Episode", "Feed List"]),
    ("Carrowmore", "Tax Helper", "taxhelp.exe", False, ["Tax Return", "Receipt"]),
    ("Dovecote", "Bird Log", "birdlog.exe", False, ["Sighting List"]),
    ("Eastwood", "Label Maker", "labels.exe", True, ["Label", "Label Sheet"]),
    ("Fairhaven", "Lyrics", "lyrics.exe", False, ["Lyric Sheet", "Song Book"]),
    ("Grimsdale", "Tabletop", "tabletop.exe", False, ["Campaign", "Character", "Encounter"]),
    ("Hartwell", "Photo Frames", "frames.exe", False, ["Frame Set"]),
    ("Inchmore", "Translator", "transl.exe", True, ["Glossary", "Memory File"]),
    ("Jessamine", "Quilting", "quilt.exe", False, ["Quilt Block", "Quilt Plan"]),
    ("Kelderby", "Chemistry", "molview.exe", True, ["Molecule", "Reaction"]),
    ("Lowther", "Budget Travel", "travel.exe", False, ["Itinerary", "Packing List"]),
    ("Moorfield", "Typing Tutor", "ttutor.exe", False, ["Lesson", "Progress File"]),
    ("Netherby", "Star Charts", "starview.exe", True, ["Star Catalog"]),
    ("Orchardleigh", "Wine Cellar", "cellar.exe", False, ["Cellar Book"]),
    ("Pendle", "Kiosk", "kiosk.exe", True, ["Kiosk Profile", "Playlist Schedule"]),
]

VERB_SETS = [
    [("open", '"%s" "%%1"')],
    [("open", '"%s" "%%1"'), ("print", '"%s" /print "%%1"')],
    [("open", '"%s" "%%1"'), ("edit", '"%s" /edit "%%1"')],
    [("open", '"%s" "%%1"'), ("print", '"%s" /p "%%1"'), ("printto", '"%s" /pt "%%1" "%%2" "%%3" "%%4"')],
    [("open", '"%s" -open "%%1"'), ("play", '"%s" -play "%%1"'), ("enqueue", '"%s" -add "%%1"')],
]

LETTERS = "abcdefghijklmnopqrstuvwxyz"
COMMON_EXTENSIONS = {
    ".txt", ".doc", ".xls", ".ppt", ".pdf", ".zip", ".rar", ".exe", ".dll", ".bat", ".cmd", ".com",
    ".htm", ".html", ".hta", ".htc", ".js", ".jse", ".vbs", ".vbe", ".wsf", ".wsh", ".png", ".jpg",
    ".gif", ".bmp", ".ico", ".mp3", ".wav", ".avi", ".mp4", ".wmv", ".ini", ".inf", ".reg", ".sys",
    ".lnk", ".url", ".msi", ".msp", ".cab", ".cpl", ".scr", ".ocx", ".xml", ".css", ".rtf", ".log",
    ".eml", ".net", ".que", ".pst", ".dot", ".mht", ".xps", ".chm", ".hlp", ".ttf", ".fon", ".otf",
    ".tmp", ".bak", ".dat", ".bin", ".iso", ".img", ".csv", ".tif", ".psd", ".ai", ".wma", ".mid",
}


def make_extension(app, kind):
    base = "".join(c for c in (app + kind).lower() if c in LETTERS)
    for _ in range(200):
        n = rng.choice((3, 3, 3, 4, 4, 5))
        first = base[0] if rng.random() < 0.6 else rng.choice(LETTERS)
        ext = "." + first + "".join(rng.choice(base if rng.random() < 0.7 else LETTERS)
                                    for _ in range(n - 1))
        if ext in COMMON_EXTENSIONS or ext.lower() in used_types or "nav" in ext or "aol" in ext:
            continue
        return ext
    sys.exit("no extension for " + app)


def progid_for(vendor, app, kind, style):
    v = vendor.replace(" ", "")
    a = app.replace(" ", "").replace("-", "")
    k = kind.replace(" ", "").replace("-", "")
    if style == 0:
        return "%s.%s.1" % (v, k)
    if style == 1:
        return "%s%s.%s" % (v, a, k)
    name = "%s%sfile" % (a.lower()[:6], k.lower()[:5])
    n = 2
    while name.lower() in used_types:
        name = "%s%s%dfile" % (a.lower()[:6], k.lower()[:5], n)
        n += 1
    return name


def add_class(clsid, description, dll, is64, progid=None):
    base = CLASSES if is64 else CLASSES32
    path = "%s\\CLSID\\%s" % (base, clsid)
    reg.value(path, None, description)
    reg.value(path + "\\InprocServer32", None, dll)
    reg.value(path + "\\InprocServer32", "ThreadingModel", "Apartment")
    if progid:
        reg.value(path + "\\ProgID", None, progid)


healthy_types = 0
for index, (vendor, app, exe, is64, kinds) in enumerate(APPS):
    folder = "%s\\%s\\%s" % (PF64 if is64 else PF32, vendor, app)
    program = folder + "\\" + exe
    files.add(program)
    icons_dll = None
    if index % 3 == 0:
        icons_dll = folder + "\\" + exe.replace(".exe", "res.dll")
        files.add(icons_dll)
    shell_ext = None
    if index % 4 == 1:
        shell_ext = folder + "\\" + exe.replace(".exe", "shx.dll")
        files.add(shell_ext)
        handler_clsid = guid()
        add_class(handler_clsid, "%s %s Shell Extension" % (vendor, app), shell_ext, is64)
    style = index % 3
    verbs = VERB_SETS[index % len(VERB_SETS)]
    doc_clsid = None
    if index % 5 == 2:
        doc_clsid = guid()
        server = folder + "\\" + exe.replace(".exe", "doc.dll")
        files.add(server)
    for k, kind in enumerate(kinds):
        progid = progid_for(vendor, app, kind, style)
        claim(progid)
        path = "%s\\%s" % (CLASSES, progid)
        reg.value(path, None, "%s %s" % (app, kind))
        if k % 2 == 1:
            reg.value(path, "FriendlyTypeName", "%s %s" % (vendor, kind))
        if icons_dll:
            icon = "%s,%d" % (icons_dll, -(101 + k))
        elif index % 3 == 1:
            icon = folder + "\\Icons\\" + kind.lower().replace(" ", "_") + ".ico"
            files.add(icon)
        else:
            icon = '"%s",%d' % (program, k + 1)
        reg.value(path + "\\DefaultIcon", None, icon)
        reg.value(path + "\\shell", None, verbs[0][0])
        for verb, command in verbs:
            reg.value("%s\\shell\\%s\\command" % (path, verb), None, command % program)
        if doc_clsid and k == 0:
            reg.value(path + "\\CLSID", None, doc_clsid)
            add_class(doc_clsid, "%s %s" % (app, kind), server, is64, progid)
        if shell_ext:
            reg.value(path + "\\ShellEx\\ContextMenuHandlers\\" + vendor.replace(" ", ""), None,
                      handler_clsid)
        healthy_types += 1
        if style == 0 and k == 0:
            # Version-independent identifier pointing at the current version.
            vi = progid[:-2]
            claim(vi)
            reg.value("%s\\%s" % (CLASSES, vi), None, "%s %s" % (app, kind))
            reg.value("%s\\%s\\CurVer" % (CLASSES, vi), None, progid)
            healthy_types += 1
        extensions = rng.choice((1, 1, 2, 2, 3))
        for _ in range(extensions):
            ext = make_extension(app, kind)
            claim(ext)
            epath = "%s\\%s" % (CLASSES, ext)
            reg.value(epath, None, progid)
            perceived = rng.choice(("document", "image", "audio", "video", "text", None))
            if perceived:
                reg.value(epath, "PerceivedType", perceived)
            if rng.random() < 0.4:
                reg.value(epath, "Content Type", "application/x-%s" % ext[1:])
            if rng.random() < 0.3:
                reg.value(epath + "\\OpenWithProgids", progid, "")
            healthy_types += 1

# Shapes that look odd but are sound and must not be reported.
files.add(PF64 + "\\Hexwood\\Launcher\\hexlaunch.exe")
files.add(PF64 + "\\Hexwood\\Launcher\\verbs.dll")
SOUND = {
    # a verb carried out by a COM object (no command line)
    "Hexwood.Shortcut": [("shell\\runas\\command", None, ""),
                         ("shell\\runas\\command", "DelegateExecute", guid())],
    # commands and icons that are the document itself
    "Hexwood.Runnable": [("shell\\open\\command", None, '"%1" %*'),
                         ("shell\\runwith\\command", None, "%1 /quiet"),
                         ("DefaultIcon", None, "%1")],
    # a verb that only drops, and a verb with a sub-key of its own but no command
    "Hexwood.Droppable": [("shell\\send\\DropTarget", "CLSID", guid()),
                          ("shell\\share\\ddeexec", None, "[share(\"%1\")]")],
    # a verb whose display text is enough (menus built by a handler)
    "Hexwood.Cascade": [("shell\\tools", "MUIVerb", "@" + PF64 + "\\Hexwood\\Launcher\\verbs.dll,-210"),
                        ("shell\\tools", "SubCommands", "")],
    # class value that is not a class identifier is not looked up
    "Hexwood.Legacy": [("CLSID", None, "none"),
                       ("DefaultIcon", None, PF64 + "\\Hexwood\\Launcher\\hexlaunch.exe,0")],
}
for progid, items in SOUND.items():
    claim(progid)
    reg.value("%s\\%s" % (CLASSES, progid), None, progid.split(".")[1] + " item")
    for sub, name, text in items:
        reg.value("%s\\%s\\%s" % (CLASSES, progid, sub), name, text)
    healthy_types += 1
# A type's class registered only in the 32-bit view is found.
only32 = guid()
files.add(PF32 + "\\Hexwood\\Legacy\\hexold.dll")
add_class(only32, "Hexwood Legacy Viewer", PF32 + "\\Hexwood\\Legacy\\hexold.dll", False)
claim("Hexwood.OldView")
reg.value(CLASSES + "\\Hexwood.OldView", None, "Old view")
reg.value(CLASSES + "\\Hexwood.OldView\\CLSID", None, only32)
healthy_types += 1
for ext, progid in ((".hxs", "Hexwood.Shortcut"), (".hxr", "Hexwood.Runnable"),
                    (".hxd", "Hexwood.Droppable"), (".hxo", "Hexwood.OldView")):
    claim(ext)
    reg.value("%s\\%s" % (CLASSES, ext), None, progid)
    healthy_types += 1
# A handler named by its class identifier is left to the class checks, even when broken.
reg.value(CLASSES + "\\Hexwood.Legacy\\ShellEx\\ContextMenuHandlers\\" + guid(), None, "")
# A per-user file type of an application installed for this user only.
files.add("C:\\Users\\Alice\\AppData\\Local\\Skiffle\\skiffle.exe")
claim(".skf")
claim("Skiffle.Board")
reg.value(USER_CLASSES + "\\.skf", None, "Skiffle.Board")
reg.value(USER_CLASSES + "\\Skiffle.Board", None, "Skiffle board")
reg.value(USER_CLASSES + "\\Skiffle.Board\\DefaultIcon", None,
          "C:\\Users\\Alice\\AppData\\Local\\Skiffle\\skiffle.exe,0")
reg.value(USER_CLASSES + "\\Skiffle.Board\\shell\\open\\command", None,
          '"C:\\Users\\Alice\\AppData\\Local\\Skiffle\\skiffle.exe" "%1"')
healthy_types += 2

# --- leftovers of uninstalled software ------------------------------------------------------

# Zephyrine Projects was removed; its extension still names the file type it deleted.
claim(".zqx")
reg.value(CLASSES + "\\.zqx", None, "Zephyrine.Project.2")
reg.value(CLASSES + "\\.zqx", "PerceivedType", "document")
expect(15, ".zqx")

# Orvanta Sheets: program folder gone, file type left in full.
orvanta = missing_file(PF64 + "\\Orvanta\\Sheets\\orvsheet.exe")
claim("Orvanta.Sheet")
claim(".orvs")
reg.value(CLASSES + "\\.orvs", None, "Orvanta.Sheet")
reg.value(CLASSES + "\\Orvanta.Sheet", None, "Orvanta Spreadsheet")
reg.value(CLASSES + "\\Orvanta.Sheet\\DefaultIcon", None, orvanta + ",2")
reg.value(CLASSES + "\\Orvanta.Sheet\\shell\\open\\command", None, '"%s" "%%1"' % orvanta)
reg.value(CLASSES + "\\Orvanta.Sheet\\shell\\edit\\command", None, '"%s" /e "%%1"' % orvanta)
reg.value(CLASSES + "\\Orvanta.Sheet\\shell\\print\\command", None, '"%s" /p "%%1"' % orvanta)
# One report for the icon: both walks reach the same key.
expect(17, "Orvanta.Sheet\\DefaultIcon", both_views=False)
expect(21, "Orvanta.Sheet\\shell\\edit\\command")
expect(21, "Orvanta.Sheet\\shell\\print\\command")
# (the "open" verb is on the key skip list and never reported)

# Brindle Archiver left a file type whose icon value it emptied.
claim("Brindle.Archive")
claim(".brz")
reg.value(CLASSES + "\\.brz", None, "Brindle.Archive")
reg.value(CLASSES + "\\Brindle.Archive", None, "Brindle Archive")
reg.value(CLASSES + "\\Brindle.Archive\\DefaultIcon", None, "")
expect(18, "Brindle.Archive\\DefaultIcon")

# Kestrel Charts: the file type names its document class, which was unregistered.
claim("Kestrel.Chart.3")
claim(".kch")
kestrel_class = guid()
reg.value(CLASSES + "\\.kch", None, "Kestrel.Chart.3")
reg.value(CLASSES + "\\Kestrel.Chart.3", None, "Kestrel Chart")
reg.value(CLASSES + "\\Kestrel.Chart.3\\CLSID", None, kestrel_class)
expect(19, "Kestrel.Chart.3\\CLSID")

# Tumble Mail's context-menu handler on its mailbox extension outlived its class.
claim(".tmbx")
reg.value(CLASSES + "\\.tmbx", None, "")
reg.value(CLASSES + "\\.tmbx", "Content Type", "application/x-tumble-mailbox")
reg.value(CLASSES + "\\.tmbx\\ShellEx\\ContextMenuHandlers\\TumbleShell", None, guid())
expect(19, ".tmbx\\ShellEx\\ContextMenuHandlers\\TumbleShell")

# Calloway Media Player: a play verb whose program was removed, and a preview verb whose
# command line the uninstaller blanked.
calloway = missing_file(PF32 + "\\Calloway\\Media\\cmplay.exe")
for ext in (".cmpl", ".cmvx"):
    claim(ext)
    reg.value(CLASSES + "\\" + ext, None, "Calloway.Media")
claim("Calloway.Media")
reg.value(CLASSES + "\\Calloway.Media", None, "Calloway Media File")
reg.value(CLASSES + "\\Calloway.Media\\shell\\play\\command", None, '"%s" /play "%%1"' % calloway)
reg.value(CLASSES + "\\Calloway.Media\\shell\\preview\\command", None, "")
expect(21, "Calloway.Media\\shell\\play\\command")
expect(21, "Calloway.Media\\shell\\preview\\command")

# Mistral Viewer, installed for this user only, left its extension behind.
claim(".mvw")
reg.value(USER_CLASSES + "\\.mvw", None, "MistralViewer.Image")
expect(15, ".mvw")

# Reported only when empty keys are checked (SetChkSkipEmptyKeys 0).
claim(".vdq")
reg.key(CLASSES + "\\.vdq")
expect(16, ".vdq", empty_key_setting=True)
claim("Pellworth.Stub")
reg.key(CLASSES + "\\Pellworth.Stub")
expect(16, "Pellworth.Stub", empty_key_setting=True)
claim("Corvid.Notes")
claim(".cvn")
reg.value(CLASSES + "\\.cvn", None, "Corvid.Notes")
reg.value(CLASSES + "\\Corvid.Notes", None, "Corvid Notes")
reg.key(CLASSES + "\\Corvid.Notes\\shell\\annotate")
expect(22, "Corvid.Notes\\shell\\annotate", empty_key_setting=True)
claim(".glyx")
reg.value(CLASSES + "\\.glyx", None, "Corvid.Notes")
reg.key(CLASSES + "\\.glyx\\shell")
for is32 in (0, 1):
    expected_all.append((1, HKCR + ".glyx\\shell", is32))

# --- write ----------------------------------------------------------------------------------

reg.write(os.path.join(DEMO, "30-filetypes.reg"))

with open(os.path.join(DEMO, "files-filetypes.txt"), "w", encoding="utf-8") as f:
    f.write("# Program files of the file types in 30-filetypes.reg (generated by gen/filetypes.py).\n")
    for path in sorted(files, key=str.lower):
        f.write(path + "\n")

with open(os.path.join(DEMO, "expected-filetypes.tsv"), "w", encoding="utf-8") as f:
    f.write("# File-type findings of the demo machine (generated by gen/filetypes.py).\n")
    f.write("# bit\tentryType\tkey\tvalueName\tis32Bit\n")
    for entry_type, key, is32 in sorted(expected):
        f.write("%s\t%d\t%s\t\t%d\n" % (BIT, entry_type, key, is32))
    f.write("# With SetChkSkipEmptyKeys 0 the scan also reports these:\n")
    for entry_type, key, is32 in sorted(set(expected_all) - set(expected)):
        f.write("#+%s\t%d\t%s\t\t%d\n" % (BIT, entry_type, key, is32))

print("%d healthy type names, %d files, %d findings (%d with empty keys checked)"
      % (healthy_types, len(files), len(expected), len(expected_all)))
