#!/usr/bin/env python3
"""Generates the COM and ActiveX content of the demo machine.

Writes, beside this folder:
  20-activex.reg        COM classes, application identifiers, type libraries and interfaces
  files-activex.txt     the servers, type libraries and help folders they name
  expected-activex.tsv  what the ActiveX/COM scan reports on the machine

The healthy part is a few hundred classes of made-up applications and of Windows itself, in both
registry views, whose servers exist in System32, SysWOW64 and the two program folders. The
leftovers are what the uninstallers of two applications forgot ("Mossgiel Notes", a 64-bit
program, and "Nantwich Player", a 32-bit one), plus near misses that must not be reported.

On 64-bit Windows 7 the classes and interfaces of 32-bit programs live in their own branch
(HKLM\\SOFTWARE\\Classes\\Wow6432Node), while application identifiers and type libraries are
shared by both views; the scan walks both views, so a leftover in a shared key is found twice.

Every leftover key is checked against the built-in key skip list and every missing file against
the file skip lists (read from the engine's sources), so that the expected list holds exactly what
a scan can report.

Run from anywhere: python3 machines/demo/gen/activex.py
"""

import os
import random
import sys

from engine_skips import (CLASSES, CLASSES32, DEMO, HKCR, PF32, PF64, USER_CLASSES, file_testable,
                          key_reportable)

BIT = "0x0001"
SYS32 = "C:\\Windows\\System32"
WOW64 = "C:\\Windows\\SysWOW64"

rng = random.Random(20261211)


# --- output ----------------------------------------------------------------------------------

class Reg:
    """Keys in insertion order; values are (name, kind, data) with kind "sz", "expand", "dword"."""

    def __init__(self):
        self.keys = {}

    def key(self, path):
        return self.keys.setdefault(path, [])

    def sz(self, path, name, text):
        self.key(path).append((name, "sz", text))

    def expand(self, path, name, text):
        self.key(path).append((name, "expand", text))

    def dword(self, path, name, number):
        self.key(path).append((name, "dword", number))

    def write(self, file):
        out = ["Windows Registry Editor Version 5.00", ""]
        for path, values in self.keys.items():
            out.append("[%s]" % path)
            for name, kind, data in values:
                lhs = "@" if name is None else '"%s"' % name.replace("\\", "\\\\")
                if kind == "sz":
                    esc = data.replace("\\", "\\\\").replace('"', '\\"')
                    out.append('%s="%s"' % (lhs, esc))
                elif kind == "dword":
                    out.append("%s=dword:%08x" % (lhs, data))
                else:
                    raw = (data + "\0").encode("utf-16-le")
                    out.append("%s=hex(2):%s" % (lhs, ",".join("%02x" % b for b in raw)))
            out.append("")
        with open(file, "w", encoding="utf-8", newline="\r\n") as f:
            f.write("\n".join(out))


reg = Reg()
files = {}          # lower-case path -> path as written
expected = []       # (entryType, key, valueName, is32) with the empty-key setting on (default)
expected_off = []   # reported only when the empty-key setting is off
taken_guids = set()


def guid():
    while True:
        g = "{%08X-%04X-4%03X-%04X-%012X}" % (
            rng.getrandbits(32), rng.getrandbits(16), rng.getrandbits(12),
            0x8000 | rng.getrandbits(14), rng.getrandbits(48))
        if g not in taken_guids and key_reportable(g):
            taken_guids.add(g)
            return g


def add_file(path):
    files.setdefault(path.lower(), path)
    return path


def add_folder(path):
    return add_file(path.rstrip("\\") + "\\").rstrip("\\")


def missing(path):
    if not file_testable(path):
        sys.exit("planted missing file would not be tested: " + path)
    low = path.lower()
    if any(f == low or f.startswith(low + "\\") or low.startswith(f) for f in files):
        sys.exit("planted missing file collides with a file of the machine: " + path)
    return path


def expect(entry_type, key, value_name="", is32=0, setting_off_only=False):
    if not key.startswith(HKCR):
        sys.exit("not a classes key: " + key)
    if not key_reportable(key):
        sys.exit("planted finding would be skipped: " + key)
    (expected_off if setting_off_only else expected).append((entry_type, key, value_name, is32))


def expect_both_passes(entry_type, key, value_name=""):
    """A leftover in a key both views share: found by the native and by the 32-bit pass."""
    expect(entry_type, key, value_name, 0)
    expect(entry_type, key, value_name, 1)


# --- building blocks -------------------------------------------------------------------------

def add_class(base, clsid, name, server_kind=None, server=None, threading="Apartment",
              expand=False, progid=None, typelib=None, appid=None, icon=None, toolbox=None,
              version=None, categories=()):
    k = base + "\\CLSID\\" + clsid
    reg.sz(k, None, name)
    if appid:
        reg.sz(k, "AppID", appid)
    if server_kind:
        (reg.expand if expand else reg.sz)(k + "\\" + server_kind, None, server)
        if server_kind.startswith("Inproc") and threading:
            reg.sz(k + "\\" + server_kind, "ThreadingModel", threading)
    if progid:
        reg.sz(k + "\\ProgID", None, progid + ".1")
        reg.sz(k + "\\VersionIndependentProgID", None, progid)
    if typelib:
        reg.sz(k + "\\TypeLib", None, typelib)
    if version:
        reg.sz(k + "\\Version", None, version)
    if icon:
        reg.sz(k + "\\DefaultIcon", None, icon)
    if toolbox:
        reg.sz(k + "\\ToolboxBitmap32", None, toolbox)
    for cat in categories:
        reg.key(k + "\\Implemented Categories\\" + cat)
    return k


def add_typelib(lib, version, name, win32=None, win64=None, helpdir=None, flags="0"):
    k = CLASSES + "\\TypeLib\\" + lib + "\\" + version
    reg.sz(k, None, name)
    if win32 is not None:
        reg.sz(k + "\\0\\win32", None, win32)
    if win64 is not None:
        reg.sz(k + "\\0\\win64", None, win64)
    reg.sz(k + "\\FLAGS", None, flags)
    if helpdir is not None:
        reg.sz(k + "\\HELPDIR", None, helpdir)
    return k


def add_interface(base, iid, name, proxy=None, typelib=None, methods=None, proxy_kind="ProxyStubClsid32"):
    k = base + "\\Interface\\" + iid
    reg.sz(k, None, name)
    if proxy:
        reg.sz(k + "\\" + proxy_kind, None, proxy)
    if typelib:
        reg.sz(k + "\\TypeLib", None, typelib)
        reg.sz(k + "\\TypeLib", "Version", "1.0")
    if methods:
        reg.sz(k + "\\NumMethods", None, str(methods))
    return k


CAT_CONTROL = "{40FC6ED4-2438-11CF-A3DB-080036F12502}"
CAT_SAFE_SCRIPTING = "{7DD95801-9882-11CF-9FA9-00AA006C42C4}"

# Proxy/stub classes of the automation marshaller that interfaces of every application name.
PS_DISPATCH = "{00020420-0000-0000-C000-000000000046}"
PS_OA_INTERFACE = "{00020424-0000-0000-C000-000000000046}"
STDOLE_LIB = "{00020430-0000-0000-C000-000000000046}"


# --- Windows' own classes ---------------------------------------------------------------------

SYSTEM_DLLS = [
    "actxprxy.dll", "propsys.dll", "thumbcache.dll", "shdocvw.dll", "mshtml.dll", "msxml6.dll",
    "msxml3.dll", "oleaut32.dll", "ole32.dll", "comdlg32.dll", "shell32.dll", "ieframe.dll",
    "urlmon.dll", "wininet.dll", "msi.dll", "mmcndmgr.dll", "wbemsvc.dll", "taskschd.dll",
    "netshell.dll", "networkexplorer.dll", "imageres.dll", "windowscodecs.dll", "wmp.dll",
    "quartz.dll", "qedit.dll", "devenum.dll", "msdmo.dll", "dxtrans.dll", "scrrun.dll",
    "vbscript.dll", "jscript.dll", "msscript.ocx", "msvidctl.dll", "sti.dll", "wiaaut.dll",
    "shimgvw.dll", "zipfldr.dll", "cscui.dll", "syncui.dll", "srchadmin.dll", "inetcomm.dll",
    "mscoree.dll", "comsvcs.dll", "es.dll", "colbact.dll", "catsrvut.dll", "provsvc.dll",
    "mssprxy.dll", "wshext.dll", "photowiz.dll",
]
SYSTEM_WORDS = [
    "Shell", "Property", "Thumbnail", "Moniker", "Stream", "Folder", "View", "Search", "Filter",
    "Codec", "Decoder", "Encoder", "Sync", "Task", "Scheduler", "Document", "Parser", "Renderer",
    "Handler", "Provider", "Factory", "Manager", "Host", "Broker", "Catalog", "Enumerator",
]
SYSTEM_SERVICES = [
    ("dllhost.exe", "COM Surrogate"), ("wmiprvse.exe", "WMI Provider Host"),
    ("mmc.exe", "Management Console"), ("explorer.exe", "Windows Explorer"),
    ("wordpad.exe", "WordPad Document"), ("mspaint.exe", "Paint Picture"),
]


def system_name():
    return "%s %s %s" % tuple(rng.sample(SYSTEM_WORDS, 3))


def build_system():
    # The servers of the classes a freshly installed machine has.
    for dll in ("oleaut32.dll", "shell32.dll", "ieframe.dll"):
        add_file(SYS32 + "\\" + dll)
        add_file(WOW64 + "\\" + dll)
    for base in (CLASSES, CLASSES32):
        add_class(base, PS_DISPATCH, "PSDispatch", "InprocServer32",
                  "%SystemRoot%\\System32\\oleaut32.dll", "Both", expand=True)
        add_class(base, PS_OA_INTERFACE, "PSOAInterface", "InprocServer32",
                  "%SystemRoot%\\System32\\oleaut32.dll", "Both", expand=True)
        # Windows' classes are 64-bit in the native view and 32-bit in the other.
        folder = SYS32 if base == CLASSES else WOW64
        count = 160 if base == CLASSES else 110
        for _ in range(count):
            dll = rng.choice(SYSTEM_DLLS)
            add_file(folder + "\\" + dll)
            style = rng.random()
            if style < 0.5:
                server, expand = "%SystemRoot%\\System32\\" + dll, True
            elif style < 0.8:
                server, expand = "C:\\Windows\\System32\\" + dll, False
            else:
                server, expand = dll, False  # found on the search path
            add_class(base, guid(), system_name(), "InprocServer32", server,
                      rng.choice(["Apartment", "Both", "Free"]), expand=expand)
        for exe, name in SYSTEM_SERVICES:
            add_file(SYS32 + "\\" + exe)
            add_file(WOW64 + "\\" + exe)
            server = "%SystemRoot%\\System32\\" + exe + " /Automation"
            add_class(base, guid(), name, "LocalServer32", server, expand=True)


# --- applications ----------------------------------------------------------------------------

# vendor folder, short name, 64-bit, class nouns
APPS = [
    ("Halvern Systems\\Ledger", "Halvern", True,
     ["Ledger Document", "Account View", "Journal Entry", "Report Builder", "Import Wizard"]),
    ("Brightwater\\Imaging", "Brightwater", True,
     ["Image Viewer", "Thumbnail Provider", "Color Profile", "Print Layout", "Slide Show",
      "Scanner Bridge"]),
    ("Calderon Works\\Forms", "Calderon", True,
     ["Form Designer", "Field Control", "Signature Pad", "Form Filler"]),
    ("Dorrington Data\\Connector", "Dorrington", True,
     ["Connection", "Command", "Record Set", "Data Grid", "Query Designer", "Schema Browser"]),
    ("Emberly Audio\\Mixer", "Emberly", True,
     ["Mixer Engine", "Track Control", "Level Meter", "Effect Rack", "Sample Browser"]),
    ("Farrowdale\\Backup Agent", "Farrowdale", True,
     ["Backup Job", "Restore Wizard", "Schedule Control", "Catalog Browser"]),
    ("Gallowby Software\\Scribe", "Gallowby", False,
     ["Scribe Document", "Spell Checker", "Thesaurus", "Word Counter", "Page Preview"]),
    ("Hathersage Games\\Chess Club", "Hathersage", False,
     ["Board Control", "Move List", "Clock Control", "Engine Bridge"]),
    ("Ingleton Scan\\Capture", "Ingleton", False,
     ["Scan Source", "Capture Control", "Page Cropper", "Text Recognizer", "Batch Queue"]),
    ("Jarrow Print\\Studio", "Jarrow", False,
     ["Label Designer", "Barcode Control", "Print Queue", "Template Gallery"]),
    ("Kilbride Media\\Player", "Kilbride", False,
     ["Media Player", "Playlist", "Visualizer", "Tag Editor", "Equalizer", "Stream Source"]),
    ("Lydford Tools\\Unit Converter", "Lydford", False,
     ["Converter Control", "Currency Feed", "Formula Parser"]),
]


def build_app(folder, short, is64, nouns):
    pf = PF64 if is64 else PF32
    base = CLASSES if is64 else CLASSES32
    home = pf + "\\" + folder
    add_folder(home)
    add_folder(home + "\\Help")
    prefix = short.lower()[:5]
    main_dll = add_file(home + "\\" + prefix + "core.dll")
    ctl = add_file(home + "\\" + prefix + "ctl.ocx")
    exe = add_file(home + "\\" + prefix + "app.exe")
    lib = guid()
    lib_name = "%s %s 1.0 Type Library" % (short, folder.split("\\")[-1])
    tlb = add_file(home + "\\" + prefix + ".tlb")
    add_typelib(lib, "1.0", lib_name, win32=tlb, win64=tlb if is64 else None,
                helpdir=home + "\\Help")
    appid = guid()
    reg.sz(CLASSES + "\\AppID\\" + appid, None, short + " " + folder.split("\\")[-1])
    reg.sz(CLASSES + "\\AppID\\" + prefix + "app.exe", "AppID", appid)
    reg.sz(CLASSES + "\\AppID\\" + appid, "DllSurrogate", "")

    classes = []
    for i, noun in enumerate(nouns):
        clsid = guid()
        classes.append(clsid)
        progid = "%s.%s" % (short, noun.replace(" ", ""))
        kind = rng.random()
        if i == 0:
            add_class(base, clsid, "%s %s" % (short, noun), "LocalServer32",
                      '"%s" /automation' % exe, progid=progid, typelib=lib, appid=appid,
                      icon=exe + ",0")
        elif kind < 0.35:
            add_class(base, clsid, "%s %s Control" % (short, noun), "InprocServer32", ctl,
                      progid=progid, typelib=lib, toolbox=ctl + ", %d" % (i + 1),
                      version="1.0", categories=(CAT_CONTROL, CAT_SAFE_SCRIPTING))
        else:
            add_class(base, clsid, "%s %s" % (short, noun), "InprocServer32", main_dll,
                      rng.choice(["Apartment", "Both"]), progid=progid,
                      typelib=lib if kind < 0.8 else None)
    # A shell extension that names its menu handlers both ways.
    ext = guid()
    add_class(base, ext, "%s Shell Extension" % short, "InprocServer32", main_dll)
    handlers = base + "\\CLSID\\" + ext + "\\ShellEx\\ContextMenuHandlers"
    reg.key(handlers + "\\" + classes[-1])
    reg.sz(handlers + "\\" + short + "Menu", None, classes[1])
    reg.sz(handlers + "\\" + short + "Verbs", None, short + ".Verbs")

    for noun in nouns[:4]:
        add_interface(base, guid(), "I%s%s" % (short, noun.replace(" ", "")),
                      proxy=PS_OA_INTERFACE, typelib=lib, methods=rng.randint(7, 40))
    add_interface(base, guid(), "_D%sEvents" % short, proxy=PS_DISPATCH, typelib=lib,
                  methods=7)


def build_user_apps():
    """A per-user install in the user's own classes (native view)."""
    home = "C:\\Users\\Alice\\AppData\\Local\\Mapleford\\Sync"
    dll = add_file(home + "\\mfsync.dll")
    add_file(home + "\\mfsync.exe")
    for noun in ("Sync Engine", "Status Overlay", "Share Menu"):
        add_class(USER_CLASSES, guid(), "Mapleford " + noun, "InprocServer32", dll)


# --- leftovers -------------------------------------------------------------------------------

def build_leftovers():
    # Mossgiel Notes: a 64-bit application whose uninstaller removed its folder only.
    home = PF64 + "\\Mossgiel\\Notes"
    lib = guid()
    typelib_gone = guid()
    appid_gone = guid()

    c1 = guid()
    k = add_class(CLASSES, c1, "Mossgiel Note Object", "InprocServer32",
                  missing(home + "\\mgnote.dll"), progid="Mossgiel.Note",
                  typelib=typelib_gone, appid=appid_gone)
    reg.sz(k + "\\DefaultIcon", None, "")
    expect(0, HKCR + "CLSID\\" + c1 + "\\InprocServer32")
    expect(2, HKCR + "CLSID\\" + c1, "AppID")
    expect(3, HKCR + "CLSID\\" + c1 + "\\TypeLib")
    expect(4, HKCR + "CLSID\\" + c1 + "\\DefaultIcon")

    # A server key left with only its threading model, and an empty ProgID key.
    c2 = guid()
    k = add_class(CLASSES, c2, "Mossgiel Sync Agent", "LocalServer32",
                  missing(home + "\\mgsync.exe") + " /automation")
    reg.sz(k + "\\InprocHandler32", "ThreadingModel", "Apartment")
    reg.key(k + "\\ProgID")
    expect(0, HKCR + "CLSID\\" + c2 + "\\LocalServer32")
    expect(1, HKCR + "CLSID\\" + c2 + "\\InprocHandler32")
    expect(1, HKCR + "CLSID\\" + c2 + "\\ProgID")

    # The shell extension: its menu handlers name classes that are gone, both ways; a handler
    # naming a ProgID is not looked up.
    c3 = guid()
    gone_handler = guid()
    gone_value = guid()
    k = add_class(CLASSES, c3, "Mossgiel Shell Menu", "InprocServer32",
                  missing(home + "\\mgshell.dll"),
                  toolbox=missing(home + "\\mgctl.ocx") + ", 1")
    handlers = k + "\\ShellEx\\ContextMenuHandlers"
    reg.key(handlers + "\\" + gone_handler)
    reg.sz(handlers + "\\MossgielMenu", None, gone_value)
    reg.sz(handlers + "\\MossgielOpen", None, "Mossgiel.Open")
    expect(0, HKCR + "CLSID\\" + c3 + "\\InprocServer32")
    expect(5, HKCR + "CLSID\\" + c3 + "\\ShellEx\\ContextMenuHandlers\\" + gone_handler)
    expect(5, HKCR + "CLSID\\" + c3 + "\\ShellEx\\ContextMenuHandlers\\MossgielMenu")
    expect(42, HKCR + "CLSID\\" + c3 + "\\ToolboxBitmap32")

    # An ink control whose toolbox key was emptied: the native pass leaves empty toolbox keys to
    # the empty-key setting.
    c4 = guid()
    k = add_class(CLASSES, c4, "Mossgiel Ink Control", "InprocServer32",
                  missing(home + "\\mgink.ocx"), typelib="Mossgiel.TypeLib")
    reg.key(k + "\\ToolboxBitmap32")
    expect(0, HKCR + "CLSID\\" + c4 + "\\InprocServer32")
    expect(1, HKCR + "CLSID\\" + c4 + "\\ToolboxBitmap32", setting_off_only=True)

    # Its service entry names an identifier that is gone (shared key: both passes).
    reg.sz(CLASSES + "\\AppID\\mgsyncsvc.exe", "AppID", guid())
    expect_both_passes(6, HKCR + "AppID\\mgsyncsvc.exe", "AppID")
    # An identifier-named entry is never examined by the AppID sweep.
    reg.sz(CLASSES + "\\AppID\\" + guid(), "AppID", guid())

    # Its type library: both files gone, help folder gone.
    tk = add_typelib(lib, "2.0", "Mossgiel Notes 2.0 Type Library",
                     win32=missing(home + "\\mgnote32.tlb"),
                     win64=missing(home + "\\mgnote64.tlb"),
                     helpdir=missing(home + "\\Help"))
    tk = HKCR + tk[len(CLASSES) + 1:]
    expect_both_passes(7, tk + "\\0\\win32")
    expect_both_passes(7, tk + "\\0\\win64")
    expect_both_passes(10, tk + "\\HELPDIR")
    # A help folder key with two values is not examined.
    k = add_typelib(guid(), "1.1", "Mossgiel Spelling 1.1 Type Library",
                    win64=add_file(SYS32 + "\\mgspell.dll"), helpdir=missing(home + "\\Docs"))
    reg.sz(k + "\\HELPDIR", "Fallback", home + "\\Docs")

    # Its interfaces: proxy/stub and viewer classes and a type library that are gone.
    i1 = guid()
    add_interface(CLASSES, i1, "IMossgielNote", proxy=guid(), typelib=guid(), methods=12)
    expect(11, HKCR + "Interface\\" + i1 + "\\ProxyStubClsid32")
    expect(12, HKCR + "Interface\\" + i1 + "\\TypeLib")
    i2 = guid()
    k = add_interface(CLASSES, i2, "IMossgielView", proxy=guid(), proxy_kind="ProxyStubClsid")
    reg.sz(k + "\\OLEViewerIViewerCLSID", None, guid())
    expect(11, HKCR + "Interface\\" + i2 + "\\ProxyStubClsid")
    expect(11, HKCR + "Interface\\" + i2 + "\\OLEViewerIViewerCLSID")

    # A per-user class of the same program.
    c5 = guid()
    add_class(USER_CLASSES, c5, "Mossgiel Quick Note", "InprocServer32",
              missing("C:\\Users\\Alice\\AppData\\Local\\Mossgiel\\mgquick.dll"))
    expect(0, HKCR + "CLSID\\" + c5 + "\\InprocServer32")

    # Nantwich Player: a 32-bit application, so its classes are in the 32-bit view.
    home = PF32 + "\\Nantwich\\Player"
    appid_gone = guid()
    w1 = guid()
    k = add_class(CLASSES32, w1, "Nantwich Player Control", "InprocServer32",
                  missing(home + "\\ntplay.ocx"), progid="Nantwich.Player",
                  typelib=guid(), appid=appid_gone,
                  toolbox=missing(home + "\\ntplay.ocx") + ", 1",
                  categories=(CAT_CONTROL,))
    reg.sz(k + "\\DefaultIcon", None, "")
    expect(0, HKCR + "CLSID\\" + w1 + "\\InprocServer32", is32=1)
    expect(2, HKCR + "CLSID\\" + w1, "AppID", is32=1)
    expect(3, HKCR + "CLSID\\" + w1 + "\\TypeLib", is32=1)
    expect(4, HKCR + "CLSID\\" + w1 + "\\DefaultIcon", is32=1)
    expect(42, HKCR + "CLSID\\" + w1 + "\\ToolboxBitmap32", is32=1)

    # A 32-bit class names its server in System32 and relies on redirection: not missing.
    add_file(WOW64 + "\\ntcodec.dll")
    add_class(CLASSES32, guid(), "Nantwich Codec", "InprocServer32",
              "C:\\Windows\\System32\\ntcodec.dll")

    # The media agent: server gone, an empty toolbox key (reported in this view), a server key
    # and a ProgID key left empty (left to the empty-key setting in this view).
    w2 = guid()
    k = add_class(CLASSES32, w2, "Nantwich Media Agent", "LocalServer32",
                  missing(home + "\\ntagent.exe"))
    reg.key(k + "\\ToolboxBitmap32")
    reg.key(k + "\\InprocServer32")
    reg.sz(k + "\\ProgID", None, "")
    expect(0, HKCR + "CLSID\\" + w2 + "\\LocalServer32", is32=1)
    expect(1, HKCR + "CLSID\\" + w2 + "\\ToolboxBitmap32", is32=1)
    expect(1, HKCR + "CLSID\\" + w2 + "\\InprocServer32", is32=1, setting_off_only=True)
    expect(1, HKCR + "CLSID\\" + w2 + "\\ProgID", is32=1, setting_off_only=True)

    # Its shell menu: handler classes gone both ways; one handler names a class registered only
    # in the native view, which is not missing.
    w3 = guid()
    gone_handler = guid()
    gone_value = guid()
    native_only = guid()
    add_file(SYS32 + "\\ntshell64.dll")
    add_class(CLASSES, native_only, "Nantwich Shell Bridge", "InprocServer32",
              SYS32 + "\\ntshell64.dll")
    k = add_class(CLASSES32, w3, "Nantwich Shell Menu", "InprocServer32",
                  missing(home + "\\ntshell.dll"))
    handlers = k + "\\ShellEx\\ContextMenuHandlers"
    reg.key(handlers + "\\" + gone_handler)
    reg.key(handlers + "\\" + native_only)
    reg.sz(handlers + "\\NantwichMenu", None, gone_value)
    expect(0, HKCR + "CLSID\\" + w3 + "\\InprocServer32", is32=1)
    expect(5, HKCR + "Wow6432Node\\CLSID\\" + w3 + "\\ShellEx\\ContextMenuHandlers\\" + gone_handler,
           is32=1)
    expect(5, HKCR + "CLSID\\" + w3 + "\\ShellEx\\ContextMenuHandlers\\NantwichMenu", is32=1)

    # Its service entry and its type library (shared keys: both passes).
    reg.sz(CLASSES + "\\AppID\\ntagent.exe", "AppID", appid_gone)
    expect_both_passes(6, HKCR + "AppID\\ntagent.exe", "AppID")
    tk = add_typelib(guid(), "1.0", "Nantwich Player 1.0 Type Library", win32="", helpdir="")
    tk = HKCR + tk[len(CLASSES) + 1:]
    expect_both_passes(9, tk + "\\0\\win32")
    expect_both_passes(8, tk + "\\HELPDIR")

    # Its interfaces, in the 32-bit view; one names a proxy class registered only in the native
    # view, which is not missing.
    i3 = guid()
    add_interface(CLASSES32, i3, "INantwichPlayer", proxy=guid(), typelib=guid(), methods=20)
    expect(11, HKCR + "Interface\\" + i3 + "\\ProxyStubClsid32", is32=1)
    expect(12, HKCR + "Interface\\" + i3 + "\\TypeLib", is32=1)
    add_interface(CLASSES32, guid(), "INantwichBridge", proxy=native_only, methods=5)


def main():
    build_system()
    for app in APPS:
        build_app(*app)
    build_user_apps()
    build_leftovers()

    reg.write(os.path.join(DEMO, "20-activex.reg"))
    with open(os.path.join(DEMO, "files-activex.txt"), "w", encoding="utf-8") as f:
        f.write("# Servers, type libraries and help folders of 20-activex.reg "
                "(generated by gen/activex.py).\n")
        for path in sorted(files.values(), key=str.lower):
            f.write(path + "\n")
    with open(os.path.join(DEMO, "expected-activex.tsv"), "w", encoding="utf-8") as f:
        f.write("# ActiveX/COM findings of the demo machine (generated by gen/activex.py).\n")
        f.write("# bit\tentryType\tkey\tvalueName\tis32Bit\n")
        for t, key, name, is32 in sorted(expected):
            f.write("%s\t%d\t%s\t%s\t%d\n" % (BIT, t, key, name, is32))
        f.write("# With SetChkSkipEmptyKeys 0 the scan also reports these:\n")
        for t, key, name, is32 in sorted(expected_off):
            f.write("#+%s\t%d\t%s\t%s\t%d\n" % (BIT, t, key, name, is32))
    kinds = sorted({t for t, _, _, _ in expected})
    print("%d keys, %d files, %d findings of kinds %s" % (
        len(reg.keys), len(files), len(expected), kinds))


if __name__ == "__main__":
    main()
